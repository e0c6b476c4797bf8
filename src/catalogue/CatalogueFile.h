#pragma once
// The catalogue file held open for one lookup: an existing regular file, locked so that no
// other lookup or program holds it at the same time, read line by line.

#include "support/LockedFile.h"

#include <string>
#include <vector>

class CatalogueFile {
public:
    // Lines longer than this keep their first kMaxLine bytes; no row of a catalogue comes
    // near it, and a runaway line can't take the memory with it.
    static constexpr size_t kMaxLine = 64 * 1024;

    explicit CatalogueFile(const std::string& path);
    ~CatalogueFile();
    CatalogueFile(const CatalogueFile&) = delete;
    CatalogueFile& operator=(const CatalogueFile&) = delete;

    bool IsOpen() const { return file.IsOpen(); }
    // The next line without its LF (and a CR before it); false at the end of the file.
    bool NextLine(std::string& line);

private:
    bool Fill();

    LockedFile file;
    std::vector<char> buffer = std::vector<char>(64 * 1024);
    size_t begin = 0;
    size_t end = 0;
    bool atEnd = false;
};
