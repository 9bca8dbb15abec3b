// Suggestions for the path field: the folders and files under what is typed.
//
//   PathSuggestions  watches the field: each edit asks the reader for the entries of the folder
//                    typed so far whose names start with the rest, and shows what comes back
//                    in a list under the field; the field's keys steer the list.
//   the reader       one thread of its own, which lists folders and matches names there, so a
//                    big or stalled folder never holds up a key or a click; it is never waited
//                    for, so closing the window ends the program whatever it waits on.
//
// The list is a tool-tip window: it takes no keyboard or pointer grab, so a click anywhere else
// reaches what it is made on, and the keys stay with the field.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;

namespace kestrane::window::qt {

// The names in a folder, without "." and ".."; empty when it cannot be read. Runs on the
// reader's thread and may wait as long as the file system does.
using FolderReader = std::function<std::vector<std::string>(const std::string& folder)>;
std::vector<std::string> readFolderNames(const std::string& folder);

// At most this many suggestions are offered; typing more of a name narrows them.
inline constexpr std::size_t mostSuggestions = 200;

// The folder a typed path is in (up to its last '/') and the start of a name in it; none for a
// path that is not absolute.
struct PathQuery {
    std::string folder;
    std::string prefix;
};
std::optional<PathQuery> queryOf(const std::string& typed);

// The paths of the names in the query's folder that start with its prefix, in byte order, at
// most mostSuggestions of them; hidden names only when the prefix starts with a dot.
std::vector<std::string> suggestionsFor(const PathQuery& query, std::vector<std::string> names);

class PathSuggestions final : public QObject {
    Q_OBJECT

public:
    PathSuggestions(QLineEdit& field, FolderReader readFolder, QObject* parent = nullptr);
    ~PathSuggestions() override;
    PathSuggestions(const PathSuggestions&) = delete;
    PathSuggestions& operator=(const PathSuggestions&) = delete;

signals:
    // The reader has answered an edit and its answer is taken in (and shown, when still wanted).
    void suggestionsArrived();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Reader;
    static void runReader(const std::shared_ptr<Reader>& reader);

    void onTextEdited();
    // Takes in the suggestions read for `typed`.
    void take(const QString& typed, const QStringList& paths);
    // Shows those of the last suggestions read that match what the field holds now.
    void showMatching();
    bool steer(int key);
    void pick(int row);
    // Hides the list until the next edit.
    void dismiss();

    QLineEdit& field_;
    std::shared_ptr<Reader> reader_;
    QListWidget* list_ = nullptr; // created when first shown
    QStringList offered_;
    QString offeredFor_;
    // True from an edit until the user leaves the field or dismisses the list: only then may an
    // answer of the reader show the list.
    bool wanted_ = false;
};

} // namespace kestrane::window::qt
