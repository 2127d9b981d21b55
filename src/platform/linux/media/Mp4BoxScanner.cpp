#include "platform/linux/media/Mp4BoxScanner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <optional>
#include <string_view>

namespace vx::platform::linux_ {

namespace {

// Movies start with these few boxes; a file that needs more to reach its
// moov is not one of ours, and the check must stay cheap.
constexpr int kMaxBoxesBeforeMoov = 8;
constexpr int kMaxMoovChildren = 64;

struct Box {
    std::array<char, 4> type{};
    int64_t start = 0;
    int64_t headerSize = 0;
    int64_t end = 0;

    bool is(std::string_view name) const { return std::string_view(type.data(), 4) == name; }
};

uint64_t bigEndian(const unsigned char* bytes, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// The box at `offset` when its header is readable and it ends by `limit`.
// Size 0 ("up to the end of the file") is not something our muxer writes, and
// is what a zero-filled tail after a power cut looks like, so it ends the walk.
std::optional<Box> readBox(int fd, int64_t offset, int64_t limit) {
    unsigned char header[16];
    if (offset + 8 > limit || ::pread(fd, header, 8, offset) != 8) {
        return std::nullopt;
    }
    Box box;
    box.start = offset;
    std::memcpy(box.type.data(), header + 4, 4);
    uint64_t size = bigEndian(header, 4);
    box.headerSize = 8;
    if (size == 1) {
        if (offset + 16 > limit || ::pread(fd, header + 8, 8, offset + 8) != 8) {
            return std::nullopt;
        }
        size = bigEndian(header + 8, 8);
        box.headerSize = 16;
    }
    if (size < uint64_t(box.headerSize) || size > uint64_t(limit - offset)) {
        return std::nullopt;
    }
    box.end = offset + int64_t(size);
    return box;
}

int64_t fileSize(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? int64_t(info.st_size) : 0;
}

}  // namespace

bool Mp4BoxScanner::isFragmented(int fd) {
    const int64_t size = fileSize(fd);
    auto box = readBox(fd, 0, size);
    if (!box || !box->is("ftyp")) {
        return false;
    }
    for (int i = 0; i < kMaxBoxesBeforeMoov && box && !box->is("moov"); ++i) {
        box = readBox(fd, box->end, size);
    }
    if (!box || !box->is("moov")) {
        return false;
    }
    auto child = readBox(fd, box->start + box->headerSize, box->end);
    for (int i = 0; i < kMaxMoovChildren && child; ++i) {
        if (child->is("mvex")) {
            return true;
        }
        child = readBox(fd, child->end, box->end);
    }
    return false;
}

Mp4BoxScanner::Fragments Mp4BoxScanner::completeFragments(int fd) {
    const int64_t size = fileSize(fd);
    Fragments found;
    bool moofWithoutMdat = false;
    for (auto box = readBox(fd, 0, size); box; box = readBox(fd, box->end, size)) {
        if (box->is("moof")) {
            if (moofWithoutMdat) {
                break;
            }
            moofWithoutMdat = true;
            continue;
        }
        if (moofWithoutMdat && !box->is("mdat")) {
            break;
        }
        if (moofWithoutMdat) {
            ++found.count;
            moofWithoutMdat = false;
        }
        found.completeLength = box->end;
    }
    return found;
}

}  // namespace vx::platform::linux_
