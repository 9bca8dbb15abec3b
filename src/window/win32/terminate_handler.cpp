// The program's end on a fault it cannot recover from (memory running out): the lines
// libstdc++'s own handler writes on standard error, then abort(). Nothing in the program catches
// an exception, so a throw ended it the same way. Defined here, these keep out libstdc++'s
// handler and throwing helpers, with its demangler and old std::string, over a third of the .exe.
#include <bits/functexcept.h>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <typeinfo>

namespace {

void writeError(const char* text) {
    std::fputs(text, stderr);
}

[[noreturn]] void endAfterThrowing(const char* type, const char* what) {
    writeError("terminate called after throwing an instance of '");
    writeError(type);
    writeError("'\n  what():  ");
    writeError(what);
    writeError("\n");
    std::abort();
}

} // namespace

namespace __gnu_cxx {

// The default terminate handler; names the exception's type as the compiler does ("St9bad_alloc"),
// without the demangler.
void __verbose_terminate_handler() {
    static bool terminating = false;
    if (terminating) {
        writeError("terminate called recursively\n");
        std::abort();
    }
    terminating = true;
    const std::type_info* const type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        writeError("terminate called without an active exception\n");
        std::abort();
    }
    try {
        throw;
    } catch (const std::exception& error) {
        endAfterThrowing(type->name(), error.what());
    } catch (...) {
        writeError("terminate called after throwing an instance of '");
        writeError(type->name());
        writeError("'\n");
    }
    std::abort();
}

} // namespace __gnu_cxx

// Those of libstdc++'s throwing helpers that the program's code calls; a helper it does not
// define here would bring libstdc++'s own back, and the link would fail with both.
namespace std {

void __throw_bad_alloc() {
    endAfterThrowing("std::bad_alloc", "std::bad_alloc");
}

void __throw_bad_array_new_length() {
    endAfterThrowing("std::bad_array_new_length", "std::bad_array_new_length");
}

void __throw_length_error(const char* what) {
    endAfterThrowing("std::length_error", what);
}

void __throw_logic_error(const char* what) {
    endAfterThrowing("std::logic_error", what);
}

// The message unformatted: formatting it would bring the C library's printf along.
void __throw_out_of_range_fmt(const char* format, ...) {
    endAfterThrowing("std::out_of_range", format);
}

} // namespace std
