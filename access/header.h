#pragma once
// The first page of an Access file: its format, code page and database password.
#include <string>

namespace accessdb {

enum class FileFormat { Jet3, Jet4, Ace };

// The outcome of comparing a typed password with the one the file keeps.
enum class PasswordCheck {
    NotProtected, // the file has no database password; whatever was typed is ignored, as Access does
    Matches,
    Wrong,
    CannotCheck, // protected in a way this program cannot verify (ACE encryption): the file is not read
};

struct Header {
    FileFormat format = FileFormat::Jet4;
    int codePage = 0;          // Windows code page of Jet 3 text (0: not recorded)
    std::string password;      // the stored database password in UTF-8; empty when none
    bool unverifiable = false; // an ACE file with a password or an encoding key: encrypted, not checkable
};

// Whether `path` names a real Access file (judged by its content, as the database layer does). Never throws.
bool isAccessFile(const std::string& path);

// Reads and decodes the header of `path` without ever opening it for writing. Throws db::Error when
// the file is missing or unreadable, or is not an Access file.
Header readHeader(const std::string& path);

// Compares `typed` with the password stored in the file at `path`. Throws as readHeader does.
PasswordCheck checkPassword(const std::string& path, const std::string& typed);

// As checkPassword, but anything other than NotProtected or Matches is thrown as db::Error
// (WrongPassword), with a message that names the file. Returns whether the file is protected.
bool requirePassword(const std::string& path, const std::string& typed);

} // namespace accessdb
