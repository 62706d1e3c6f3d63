// Whole text files for attribute values.
#pragma once

#include <string>
#include <string_view>

namespace quellar2mrapi::crdata {

// The file's bytes, all of them. A missing file is failure 53 "File not found"; a path
// through a file that is no folder 76 "Path not found"; a text with a zero character 52
// "Bad file name or number"; lack of memory 7; any other failure to open or read (no
// permission, a folder, a FIFO or device, an I/O error) 75 "Path/File access error". Only
// regular files are read, so nothing waits on a pipe or reads a device without end. An empty file gives no bytes, so its text is empty: an empty value.
std::string read_file_bytes(std::u16string_view path);

// Text in the system's character set as UTF-16: UTF-8 on Linux, where every byte that does
// not belong to a complete, well-formed sequence (a stray continuation byte, a truncated,
// overlong or surrogate sequence, a value past U+10FFFF) becomes one U+FFFD and decoding
// goes on with the next byte; the ANSI code page on Windows. Nothing is trimmed: line
// breaks and a leading byte-order mark stay.
std::u16string decode_system_text(std::string_view bytes);

}  // namespace quellar2mrapi::crdata
