// wex::CString: a narrow (8-bit) string with the member set of the familiar
// wide string class (Find, Mid, Left, Right, Trim, Format, Compare ...), built
// on std::string. Positions and lengths are int; a failed search gives -1.
// Case changes and comparisons without case use the "C" character classes, so
// only A-Z and a-z change case.
#pragma once

#include <string>

#include "UtilcoreApi.h"

namespace wex {

class UTILCORE_API CString : public std::string {
public:
    CString() = default;
    CString(const CString& other) = default;
    CString(CString&& other) noexcept = default;
    CString(const std::string& text) : std::string(text) {}
    // A null pointer gives an empty string.
    CString(const char* text) : std::string(text != nullptr ? text : "") {}
    ~CString() = default;

    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept;
    CString& operator=(const std::string& text);
    CString& operator=(const char* text);

    int GetLength() const { return static_cast<int>(size()); }
    bool IsEmpty() const { return empty(); }
    // Throws std::out_of_range for an index outside 0 .. length - 1.
    char GetAt(int index) const;
    void SetAt(int index, char ch);

    int Compare(const CString& other) const;
    int Compare(const char* other) const;
    int CompareNoCase(const CString& other) const;
    int CompareNoCase(const char* other) const;

    int Find(const CString& text) const;
    int Find(const char* text) const;
    int Find(char ch) const;
    // First occurrence at or after `start` (a negative start counts as 0).
    int Find(char ch, int start) const;
    int ReverseFind(char ch) const;

    CString Left(int count) const;
    CString Mid(int start, int count) const;
    CString Right(int count) const;

    void Empty() { clear(); }
    void MakeLower();
    void MakeUpper();
    // Returns the number of replacements.
    int Replace(char oldCh, char newCh);
    // Each search starts again at the beginning, so text a replacement makes
    // can match again ("aab", "ab" -> "b" gives "b"; "ab" -> "ba" gives "baa").
    // When `newText` contains `oldText`, or is longer than it, that could
    // never end; the search then goes on after the inserted text. An empty
    // `oldText` replaces nothing.
    int Replace(const char* oldText, const char* newText);

    // Blanks (code 32) only; tabs and line ends stay.
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();

    // printf-style formatting into this string. Returns the length estimate of
    // the classic implementation (at least 32 per numeric conversion), not the
    // length of the text. Format errors are programming errors, asserted in
    // debug builds.
    int Format(const char* pstrFormat, ...) __attribute__((format(printf, 2, 3)));

private:
    CString& TrimLeft(char ch);
    CString& TrimRight(char ch);
};

UTILCORE_API CString operator+(const CString& a, const CString& b);
UTILCORE_API CString operator+(const CString& a, char ch);
UTILCORE_API CString operator+(const CString& a, const char* b);
UTILCORE_API CString operator+(const char* a, const CString& b);

}  // namespace wex
