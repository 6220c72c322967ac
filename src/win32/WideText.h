#pragma once
// Text between the core's 8-bit strings and the wide-character API. A
// pathname travels through the core as UTF-8, so that a folder named in
// letters the ANSI code page lacks still opens; text shown to a reader
// (the log's lines) stays in the ANSI code page.

#include <string>

namespace quillon::win32 {

// `pathname` (UTF-8) for the -W functions; raises 52 when it is not UTF-8.
std::wstring WidePathname(const std::string& pathname);
// A pathname from a -W function as the core carries it. This and AnsiText
// give the empty string should the conversion fail.
std::string Utf8Pathname(const std::wstring& pathname);
// `text` in the ANSI code page, a character it lacks shown as "?" (not as a
// look-alike letter, which could name another folder).
std::string AnsiText(const std::wstring& text);

}  // namespace quillon::win32
