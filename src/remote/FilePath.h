// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace zvk::remote {

// A file name a remote client sent, checked against the one folder it may reach.
struct FileInFolder {
    std::string path;  // the file to open, when code is 0
    int code = 0;      // 0, -256 "File name not found" or -257 "File name error"
    std::string why;   // what was wrong with the name, for the error queue
};

// name is taken relative to folder (empty: the working folder). An absolute name, a ".."
// component and a name whose symbolic links lead outside the folder are refused with
// -257; with mustExist, a name that is not there (or is no regular file) is -256. A file
// the name does not reach yet may be created: its folder has to be there and inside.
FileInFolder fileInFolder(const std::string& folder, const std::string& name, bool mustExist);

}  // namespace zvk::remote
