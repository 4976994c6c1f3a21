// SPDX-License-Identifier: MIT
#include "remote/FilePath.h"

#include <filesystem>
#include <system_error>

#include "remote/ErrorQueue.h"

namespace zvk::remote {

namespace fs = std::filesystem;

namespace {

FileInFolder refused(int code, std::string why) {
    FileInFolder f;
    f.code = code;
    f.why = std::move(why);
    return f;
}

// Whether path lies in folder or below it; both are canonical.
bool inside(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        // A trailing separator of the folder shows as an empty last element.
        if (f->empty()) continue;
        if (p == path.end() || *p != *f) return false;
    }
    return true;
}

}  // namespace

FileInFolder fileInFolder(const std::string& folder, const std::string& name, bool mustExist) {
    const std::string shown = "\"" + name + "\"";
    if (name.empty()) return refused(kFileNameError, "no file name");
    if (name.find('\0') != std::string::npos)
        return refused(kFileNameError, "a file name with a NUL byte");
    const fs::path relative(name);
    if (relative.is_absolute() || name.front() == '/')
        return refused(kFileNameError,
                       shown + " is an absolute path; names are relative to the files folder");
    for (const fs::path& part : relative)
        if (part == "..")
            return refused(kFileNameError,
                           shown + " has a \"..\" component; names stay inside the files folder");

    std::error_code ec;
    const fs::path base = fs::canonical(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec) return refused(kFileNameNotFound, "the files folder cannot be opened: " + ec.message());
    const fs::path candidate = base / relative;
    // Every link on the way is followed, the last one too: where the name really leads.
    const fs::path real = fs::weakly_canonical(candidate, ec);
    if (ec) return refused(kFileNameError, shown + ": " + ec.message());
    if (!inside(real, base))
        return refused(kFileNameError, shown + " leads outside the files folder");
    const fs::file_status link = fs::symlink_status(candidate, ec);
    const bool isLink = !ec && fs::is_symlink(link);
    const bool exists = fs::exists(real, ec);
    // A link that leads nowhere could be made to lead outside before the file is written.
    if (isLink && !exists) return refused(kFileNameError, shown + " is a link that leads nowhere");
    if (mustExist) {
        if (!exists) return refused(kFileNameNotFound, shown + " is not in the files folder");
        if (!fs::is_regular_file(real, ec)) return refused(kFileNameError, shown + " is no file");
    } else {
        if (exists && fs::is_directory(real, ec))
            return refused(kFileNameError, shown + " is a folder");
        if (!fs::is_directory(real.parent_path(), ec))
            return refused(kFileNameNotFound, shown + ": its folder is not there");
    }
    FileInFolder f;
    f.path = real.string();
    return f;
}

}  // namespace zvk::remote
