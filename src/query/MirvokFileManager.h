#pragma once

#include <QString>

// Where the application keeps its own files.
class MirvokFileManager {
public:
    // $XDG_DATA_HOME (~/.local/share when unset): the user's library folder.
    static QString getLibraryDir();
    // getLibraryDir() joined with the bundle identifier, with a trailing "/"
    // ("…/com.mirvok.dict/"); history.db and wordbook.db live here. Created
    // (with any missing parents, which a fresh account may lack) when missing;
    // a failure to create it shows up later when a database cannot open.
    static QString getMVLibraryDir();
    // false for an empty path, else whether a file or folder exists there.
    static bool checkFileExists(const QString& path);
};
