#pragma once

#include <fstream>
#include <string>

namespace qlk {

// A fresh, empty temporary file in $TMPDIR (default /tmp) whose name begins
// with "ms", open for reading and writing; the file is deleted when the
// stream is freed.
class TTempFileStream : public std::fstream {
public:
    TTempFileStream();
    ~TTempFileStream() override;
    TTempFileStream(const TTempFileStream&) = delete;
    TTempFileStream& operator=(const TTempFileStream&) = delete;

    const std::string& FileName() const { return fileName_; }
    // Bytes written so far (the size of the file).
    std::streamoff Size();

private:
    std::string fileName_;
};

}  // namespace qlk
