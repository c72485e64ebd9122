// Any bytes from a caller on the one-instance channel, in any split into
// reads, ending or not with the caller closing.
//
// The input is a list of reads: a byte n, then n % 80 bytes of data (fewer
// at the end of the input); n = 0xFF stands for the caller closing. Only
// "show\n" in reads that end with it may ask to show, a decided request
// never changes its mind, and no caller can make it hold more than a few
// bytes.

#include <cstdint>
#include <string>

#include "InstanceRequest.h"

namespace {

using Verdict = InstanceRequest::Verdict;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InstanceRequest request;
    std::string sent;          // every byte the caller sent
    std::string beforeVerdict; // those it sent up to and with the deciding read
    Verdict verdict = Verdict::More;
    bool closed = false;
    std::size_t at = 0;
    while (at < size && !closed) {
        const uint8_t head = data[at++];
        Verdict now;
        if (head == 0xFF) {
            closed = true;
            now = request.End();
            Check(now != Verdict::More);
        } else {
            std::size_t count = head % 80;
            if (count > size - at)
                count = size - at;
            const char *bytes = reinterpret_cast<const char *>(data + at);
            at += count;
            // The channel never reads more than there is room for.
            const std::size_t room = request.Room();
            Check(verdict == Verdict::More ? room > 0 : room == 0);
            if (count > room)
                count = room;
            sent.append(bytes, count);
            if (verdict == Verdict::More)
                beforeVerdict.append(bytes, count);
            now = request.Take(bytes, count);
        }
        Check(now == request.Current());
        Check(verdict == Verdict::More || now == verdict);
        verdict = now;
        Check(request.Bytes().size() <= InstanceRequest::kMaxBytes);
        if (verdict == Verdict::More) {
            Check(request.Bytes() == sent);
            Check(request.Bytes().size() < InstanceRequest::kShow.size());
        }
        if (verdict == Verdict::Show)
            Check(request.Bytes() == InstanceRequest::kShow && beforeVerdict == InstanceRequest::kShow);
    }
    if (closed && sent == InstanceRequest::kShow)
        Check(verdict == Verdict::Show);
    return 0;
}
