#pragma once
// The tool's edge: it takes its arguments and writes its output in UTF-8, while the definition holds its
// texts in the ANSI code page and the file layer takes narrow file names (Windows: the ANSI code page;
// natively the bytes of the name), as in the window.

#include <string>

// A description text given as an argument, in the definition's code page. Raises EUsage when the code
// page lacks a character of it, or when it takes more than 63 bytes there.
std::string DescriptionArgument(const std::string& Utf8);
// An argument that names a file (or an archive or entry the definition names), in the narrow form the
// file layer takes: on Windows the ANSI code page, or the file's short name when the code page lacks a
// character of it; natively the bytes as given.
std::string FileNameArgument(const std::string& Utf8);

// A text of the definition's code page (a description) as the tool writes it.
std::string Utf8FromCodePage(const std::string& Text);
// A file or entry name, or a message that may hold one, as the tool writes it: on Windows from the ANSI
// code page; natively as it is, since file names are bytes there.
std::string Utf8FromNarrow(const std::string& Text);
