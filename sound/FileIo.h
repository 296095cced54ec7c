// Files opened by their UTF-16 path, the form every path takes in the
// program (the file dialogs hand out UTF-16). Windows opens them with the
// wide C runtime calls; elsewhere the path is turned into UTF-8 first.
// Plain buffered stdio streams, so the reader and writer can work a fragment
// at a time without their own buffering.
#pragma once
#include <cstdio>
#include <string>

// The path as UTF-8 (surrogate pairs joined, stray surrogates as U+FFFD).
std::string Utf8FromWide(const std::wstring& text);

// fopen with a stdio mode ("rb", "wb"); null when the file cannot be opened.
FILE* OpenFileUtf16(const std::wstring& path, const char* mode);

// Renames `from` to `to`, replacing `to` if it exists. 1 on success.
int ReplaceFileUtf16(const std::wstring& from, const std::wstring& to);

// Removes a file. 1 on success.
int RemoveFileUtf16(const std::wstring& path);
