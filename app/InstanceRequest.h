#pragma once

// What a later start sends the running instance, judged as its bytes come
// in. There is one request, "show\n"; anything else is ignored.
//
// A request is complete once five bytes are in: the read that brings the
// count to five or more decides, and only exactly "show\n" asks to show.
// A caller that closes (or fails) before that asked for nothing. Bytes
// after the verdict are never looked at.

#include <cstddef>
#include <string>
#include <string_view>

class InstanceRequest {
  public:
    enum class Verdict {
        More,   // not decided yet: read again
        Show,   // the caller asked this instance to show its window
        Ignore, // the caller said something else, or nothing
    };

    static constexpr std::string_view kShow = "show\n";
    // The most that is ever held of one caller's bytes.
    static constexpr std::size_t kMaxBytes = 64;

    // How many bytes the next read may take; 0 once decided.
    std::size_t Room() const;
    // The bytes of one read. Bytes beyond Room() are not kept, and a
    // decided request stays as it was.
    Verdict Take(const char *bytes, std::size_t count);
    // The caller closed its end or the read failed.
    Verdict End();

    Verdict Current() const { return m_verdict; }
    const std::string &Bytes() const { return m_bytes; }

  private:
    std::string m_bytes;
    Verdict m_verdict = Verdict::More;
};
