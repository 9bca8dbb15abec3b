#include "path_suggestions.h"

#include "signal/utf8.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <algorithm>
#include <condition_variable>
#include <dirent.h>
#include <mutex>
#include <thread>
#include <utility>

namespace kestrane::window::qt {

namespace {

// Rows the list shows at once; more scroll.
constexpr int visibleRows = 8;

QString toQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The folder a typed path is in: the text up to and including its last '/'.
QStringView folderPart(const QString& typed) {
    return QStringView{typed}.left(typed.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

std::vector<std::string> readFolderNames(const std::string& folder) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> entries{::opendir(folder.c_str()), ::closedir};
    if (!entries) {
        return names;
    }
    while (const dirent* entry = ::readdir(entries.get())) {
        const std::string_view name{entry->d_name};
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    return names;
}

std::optional<PathQuery> queryOf(const std::string& typed) {
    if (!typed.starts_with('/')) {
        return std::nullopt;
    }
    const std::size_t nameStart = typed.rfind('/') + 1;
    return PathQuery{typed.substr(0, nameStart), typed.substr(nameStart)};
}

std::vector<std::string> suggestionsFor(const PathQuery& query, std::vector<std::string> names) {
    const bool hiddenToo = query.prefix.starts_with('.');
    std::erase_if(names, [&](const std::string& name) {
        // A name that is not UTF-8 could be neither shown nor typed as it is.
        return !name.starts_with(query.prefix) || (!hiddenToo && name.starts_with('.')) ||
               !signal::utf8::isValid(name);
    });
    const auto offered =
        names.begin() + static_cast<std::ptrdiff_t>(std::min(names.size(), mostSuggestions));
    std::partial_sort(names.begin(), offered, names.end());
    names.erase(offered, names.end());
    for (std::string& name : names) {
        name.insert(0, query.folder);
    }
    return names;
}

// What the window and the reader's thread share. The thread holds it as long as it runs, which
// may be after the window has gone: `receiver` is null from then on, and the thread ends once
// its read returns.
struct PathSuggestions::Reader {
    explicit Reader(FolderReader read) : readFolder{std::move(read)} {}

    const FolderReader readFolder;
    std::mutex mutex;
    std::condition_variable wake;
    std::optional<std::string> request; // the latest edit not yet answered
    PathSuggestions* receiver = nullptr;
    bool started = false;
};

void PathSuggestions::runReader(const std::shared_ptr<Reader>& reader) {
    for (;;) {
        std::string typed;
        {
            std::unique_lock lock{reader->mutex};
            reader->wake.wait(lock, [&] { return reader->receiver == nullptr || reader->request; });
            if (reader->receiver == nullptr) {
                return;
            }
            typed = std::move(*reader->request);
            reader->request.reset();
        }
        std::vector<std::string> paths;
        if (const std::optional<PathQuery> query = queryOf(typed)) {
            paths = suggestionsFor(*query, reader->readFolder(query->folder));
        }
        const std::lock_guard lock{reader->mutex};
        if (reader->receiver == nullptr) {
            return;
        }
        if (reader->request) {
            continue; // a later edit is waiting: its answer replaces this one
        }
        QStringList offered;
        for (const std::string& path : paths) {
            offered << toQString(path);
        }
        // Delivered on the window's thread, and dropped if the window is gone by then.
        QMetaObject::invokeMethod(
            reader->receiver,
            [receiver = reader->receiver, typed = toQString(typed), offered] {
                receiver->take(typed, offered);
            },
            Qt::QueuedConnection);
    }
}

PathSuggestions::PathSuggestions(QLineEdit& field, FolderReader readFolder, QObject* parent)
    : QObject{parent}, field_{field}, reader_{std::make_shared<Reader>(std::move(readFolder))} {
    reader_->receiver = this;
    connect(&field_, &QLineEdit::textEdited, this, &PathSuggestions::onTextEdited);
    field_.installEventFilter(this);
    field_.window()->installEventFilter(this);
}

PathSuggestions::~PathSuggestions() {
    {
        const std::lock_guard lock{reader_->mutex};
        reader_->receiver = nullptr;
    }
    reader_->wake.notify_all();
}

void PathSuggestions::onTextEdited() {
    wanted_ = true;
    {
        const std::lock_guard lock{reader_->mutex};
        reader_->request = field_.text().toStdString();
        if (!std::exchange(reader_->started, true)) {
            // Never joined: a read stalled on a dead mount must not keep the program alive.
            std::thread{runReader, reader_}.detach();
        }
    }
    reader_->wake.notify_all();
    showMatching();
}

void PathSuggestions::take(const QString& typed, const QStringList& paths) {
    offered_ = paths;
    offeredFor_ = typed;
    showMatching();
    emit suggestionsArrived();
}

void PathSuggestions::showMatching() {
    const QString typed = field_.text();
    QStringList matching;
    if (wanted_ && field_.hasFocus() && folderPart(typed) == folderPart(offeredFor_)) {
        for (const QString& path : offered_) {
            if (path.startsWith(typed)) {
                matching << path;
            }
        }
    }
    if (matching.isEmpty()) {
        if (list_ != nullptr) {
            list_->hide();
        }
        return;
    }
    if (list_ == nullptr) {
        // A window of its own, so that it may reach below the form; owned by the form.
        list_ = new QListWidget{field_.window()};
        list_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
        list_->setObjectName(QStringLiteral("pathSuggestions"));
        list_->setFocusPolicy(Qt::NoFocus);
        list_->setUniformItemSizes(true);
        list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list_->setTextElideMode(Qt::ElideLeft);
        connect(list_, &QListWidget::itemClicked, this,
                [this](QListWidgetItem* item) { pick(list_->row(item)); });
    }
    // A window does not take its parent's font: the entries use the field's, the form's font.
    list_->setFont(field_.font());
    // The entry chosen with the arrow keys stays chosen when a later answer comes in.
    const QString chosen =
        list_->currentItem() != nullptr ? list_->currentItem()->text() : QString{};
    list_->clear();
    list_->addItems(matching);
    list_->setCurrentRow(chosen.isEmpty() ? -1 : int(matching.indexOf(chosen)));
    const int rows = std::min(int(matching.size()), visibleRows);
    const int height = rows * list_->sizeHintForRow(0) + 2 * list_->frameWidth();
    QPoint at = field_.mapToGlobal(QPoint{0, field_.height()});
    if (const QScreen* screen = field_.screen();
        screen != nullptr && at.y() + height > screen->availableGeometry().bottom()) {
        at = field_.mapToGlobal(QPoint{0, -height});
    }
    list_->setGeometry(QRect{at, QSize{field_.width(), height}});
    list_->show();
}

// Down and Up choose an entry, Return or Enter takes the chosen one into the field, Escape
// closes the list. True when the key was for the list.
bool PathSuggestions::steer(int key) {
    const int row = list_->currentRow();
    switch (key) {
    case Qt::Key_Down:
        list_->setCurrentRow(std::min(row + 1, list_->count() - 1));
        return true;
    case Qt::Key_Up:
        list_->setCurrentRow(std::max(row - 1, -1));
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (row < 0) {
            dismiss();
            return false;
        }
        pick(row);
        return true;
    case Qt::Key_Escape:
        dismiss();
        return true;
    default:
        return false;
    }
}

void PathSuggestions::pick(int row) {
    const QString path = list_->item(row)->text();
    dismiss();
    field_.setText(path);
}

void PathSuggestions::dismiss() {
    wanted_ = false;
    if (list_ != nullptr) {
        list_->hide();
    }
}

bool PathSuggestions::eventFilter(QObject* watched, QEvent* event) {
    const bool shown = list_ != nullptr && list_->isVisible();
    if (watched == &field_) {
        if (event->type() == QEvent::FocusOut) {
            dismiss();
        } else if (event->type() == QEvent::KeyPress && shown) {
            return steer(static_cast<const QKeyEvent*>(event)->key());
        }
        return false;
    }
    // The list stays under the field: it goes when the window moves, changes or goes.
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Hide:
    case QEvent::WindowDeactivate:
        if (shown) {
            dismiss();
        }
        return false;
    default:
        return false;
    }
}

} // namespace kestrane::window::qt
