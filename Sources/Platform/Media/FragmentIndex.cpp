#include "Platform/Media/FragmentIndex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vi::media::detail {

namespace {

using Bytes = std::vector<uint8_t>;

struct Malformed : std::runtime_error {
    Malformed() : std::runtime_error("unexpected layout") {}
};

// Sample flags: "is a non-sync sample".
constexpr uint32_t kNonSyncSample = 0x10000;
// tfhd flags.
constexpr uint32_t kBaseDataOffset = 0x1, kSampleDescription = 0x2, kDefaultDuration = 0x8, kDefaultSize = 0x10,
                   kDefaultFlags = 0x20;
// trun flags.
constexpr uint32_t kDataOffset = 0x1, kFirstSampleFlags = 0x4, kSampleDuration = 0x100, kSampleSize = 0x200,
                   kSampleFlags = 0x400, kCompositionOffset = 0x800;

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint64_t be64(const uint8_t* p) { return uint64_t(be32(p)) << 32 | be32(p + 4); }
void put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
void append32(Bytes& out, uint32_t v)
{
    uint8_t b[4];
    put32(b, v);
    out.insert(out.end(), b, b + 4);
}
void append64(Bytes& out, uint64_t v)
{
    append32(out, uint32_t(v >> 32));
    append32(out, uint32_t(v));
}
uint32_t fits32(uint64_t v)
{
    if (v > std::numeric_limits<uint32_t>::max())
        throw Malformed();
    return uint32_t(v);
}

Bytes box(const char* type, const Bytes& payload)
{
    Bytes out;
    append32(out, fits32(payload.size() + 8));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes fullBox(const char* type, uint8_t version, const Bytes& payload)
{
    Bytes body{version, 0, 0, 0};
    body.insert(body.end(), payload.begin(), payload.end());
    return box(type, body);
}

struct Box {
    std::string type;
    size_t start = 0; // of the header
    size_t body = 0;  // after the header
    size_t end = 0;
};

// The boxes in bytes[from, to).
std::vector<Box> children(const Bytes& bytes, size_t from, size_t to)
{
    std::vector<Box> found;
    for (size_t at = from; at < to;) {
        if (to - at < 8)
            throw Malformed();
        uint64_t size = be32(&bytes[at]);
        size_t header = 8;
        if (size == 1) {
            if (to - at < 16)
                throw Malformed();
            size = be64(&bytes[at + 8]);
            header = 16;
        }
        if (size < header || size > to - at)
            throw Malformed();
        found.push_back({std::string(reinterpret_cast<const char*>(&bytes[at + 4]), 4), at, at + header, at + size_t(size)});
        at += size_t(size);
    }
    return found;
}

const Box* child(const std::vector<Box>& boxes, const char* type)
{
    for (const Box& b : boxes)
        if (b.type == type)
            return &b;
    return nullptr;
}

class File {
public:
    explicit File(const std::filesystem::path& path) : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {}
    ~File()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }
    uint64_t size() const
    {
        struct stat s {};
        if (fstat(fd_, &s) != 0)
            throw Malformed();
        return uint64_t(s.st_size);
    }
    Bytes read(uint64_t at, size_t count) const
    {
        Bytes out(count);
        if (count && ::pread(fd_, out.data(), count, off_t(at)) != ssize_t(count))
            throw Malformed();
        return out;
    }
    bool write(uint64_t at, const Bytes& bytes) const
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, off_t(at + done));
            if (n <= 0)
                return false;
            done += size_t(n);
        }
        return true;
    }
    bool truncate(uint64_t size) const { return ::ftruncate(fd_, off_t(size)) == 0; }
    bool sync() const { return ::fdatasync(fd_) == 0; }

private:
    int fd_;
};

struct Sample {
    uint64_t position;
    uint64_t decodeTime;
    uint32_t size;
    uint32_t duration;
    int32_t compositionOffset;
    bool sync;
};

struct Defaults {
    uint32_t duration = 0, size = 0, flags = 0;
};

struct TopBox {
    std::string type;
    uint64_t start;
    uint64_t size;
};

std::vector<TopBox> topLevel(const File& file, uint64_t fileSize)
{
    std::vector<TopBox> found;
    for (uint64_t at = 0; at < fileSize;) {
        if (fileSize - at < 8)
            throw Malformed();
        const Bytes header = file.read(at, fileSize - at >= 16 ? 16 : 8);
        uint64_t size = be32(header.data());
        if (size == 1 && header.size() == 16)
            size = be64(header.data() + 8);
        else if (size == 0)
            size = fileSize - at;
        if (size < 8 || size > fileSize - at)
            throw Malformed();
        found.push_back({std::string(reinterpret_cast<const char*>(header.data() + 4), 4), at, size});
        at += size;
    }
    return found;
}

// Every sample of every track, in decoding order, from the fragments' run boxes.
void readFragment(const Bytes& moof, uint64_t moofStart, const std::map<uint32_t, Defaults>& trex,
                  std::map<uint32_t, std::vector<Sample>>& samples)
{
    for (const Box& traf : children(moof, 8, moof.size())) {
        if (traf.type != "traf")
            continue;
        uint32_t track = 0;
        uint64_t base = moofStart;
        Defaults defaults;
        std::optional<uint64_t> decodeTime;
        std::optional<uint64_t> position;
        for (const Box& b : children(moof, traf.body, traf.end)) {
            const uint8_t* p = &moof[b.body];
            const uint8_t* end = &moof[0] + b.end;
            auto need = [&](size_t n) {
                if (size_t(end - p) < n)
                    throw Malformed();
            };
            need(4);
            const uint8_t version = p[0];
            const uint32_t flags = be32(p) & 0xffffff;
            p += 4;
            if (b.type == "tfhd") {
                need(4);
                track = be32(p);
                p += 4;
                const auto found = trex.find(track);
                if (found == trex.end())
                    throw Malformed();
                defaults = found->second;
                if (flags & kBaseDataOffset) {
                    need(8);
                    base = be64(p);
                    p += 8;
                }
                if (flags & kSampleDescription)
                    p += 4;
                for (auto [flag, field] : {std::pair{kDefaultDuration, &defaults.duration}, std::pair{kDefaultSize, &defaults.size},
                                           std::pair{kDefaultFlags, &defaults.flags}}) {
                    if (flags & flag) {
                        need(4);
                        *field = be32(p);
                        p += 4;
                    }
                }
            } else if (b.type == "tfdt") {
                need(version == 1 ? 8 : 4);
                decodeTime = version == 1 ? be64(p) : be32(p);
            } else if (b.type == "trun") {
                if (track == 0)
                    throw Malformed();
                auto& list = samples[track];
                need(4);
                const uint32_t count = be32(p);
                p += 4;
                if (flags & kDataOffset) {
                    need(4);
                    position = base + int64_t(int32_t(be32(p)));
                    p += 4;
                }
                if (!position)
                    position = base;
                std::optional<uint32_t> firstFlags;
                if (flags & kFirstSampleFlags) {
                    need(4);
                    firstFlags = be32(p);
                    p += 4;
                }
                if (!decodeTime)
                    decodeTime = list.empty() ? 0 : list.back().decodeTime + list.back().duration;
                for (uint32_t i = 0; i < count; ++i) {
                    Sample s{*position, *decodeTime, defaults.size, defaults.duration, 0, false};
                    uint32_t sampleFlags = i == 0 && firstFlags ? *firstFlags : defaults.flags;
                    for (auto [flag, field] : {std::pair{kSampleDuration, &s.duration}, std::pair{kSampleSize, &s.size},
                                               std::pair{kSampleFlags, &sampleFlags}}) {
                        if (flags & flag) {
                            need(4);
                            *field = be32(p);
                            p += 4;
                        }
                    }
                    if (flags & kCompositionOffset) {
                        need(4);
                        s.compositionOffset = int32_t(be32(p));
                        p += 4;
                    }
                    s.sync = !(sampleFlags & kNonSyncSample);
                    list.push_back(s);
                    *position += s.size;
                    *decodeTime += s.duration;
                }
            }
        }
    }
}

// The sample tables of one track: times, sync samples, chunks of contiguous samples and their sizes.
Bytes sampleTables(const std::vector<Sample>& samples, bool video)
{
    Bytes out;
    {
        std::vector<std::pair<uint32_t, uint32_t>> runs; // count, duration
        for (const Sample& s : samples) {
            if (!runs.empty() && runs.back().second == s.duration)
                ++runs.back().first;
            else
                runs.emplace_back(1, s.duration);
        }
        Bytes body;
        append32(body, fits32(runs.size()));
        for (auto [count, duration] : runs) {
            append32(body, count);
            append32(body, duration);
        }
        const Bytes stts = fullBox("stts", 0, body);
        out.insert(out.end(), stts.begin(), stts.end());
    }
    bool anyOffset = false;
    bool allSync = true;
    for (const Sample& s : samples) {
        anyOffset = anyOffset || s.compositionOffset != 0;
        allSync = allSync && s.sync;
    }
    if (anyOffset) {
        Bytes body;
        append32(body, fits32(samples.size()));
        for (const Sample& s : samples) {
            append32(body, 1);
            append32(body, uint32_t(s.compositionOffset));
        }
        const Bytes ctts = fullBox("ctts", 1, body);
        out.insert(out.end(), ctts.begin(), ctts.end());
    }
    if (video && !allSync) {
        Bytes body;
        std::vector<uint32_t> sync;
        for (size_t i = 0; i < samples.size(); ++i)
            if (samples[i].sync)
                sync.push_back(uint32_t(i + 1));
        append32(body, fits32(sync.size()));
        for (uint32_t index : sync)
            append32(body, index);
        const Bytes stss = fullBox("stss", 0, body);
        out.insert(out.end(), stss.begin(), stss.end());
    }
    struct Chunk {
        uint64_t position;
        uint32_t samples;
        uint64_t bytes;
    };
    std::vector<Chunk> chunks;
    for (const Sample& s : samples) {
        if (!chunks.empty() && chunks.back().position + chunks.back().bytes == s.position) {
            ++chunks.back().samples;
            chunks.back().bytes += s.size;
        } else {
            chunks.push_back({s.position, 1, s.size});
        }
    }
    {
        Bytes body;
        std::vector<std::pair<uint32_t, uint32_t>> entries; // first chunk, samples per chunk
        for (size_t i = 0; i < chunks.size(); ++i)
            if (entries.empty() || entries.back().second != chunks[i].samples)
                entries.emplace_back(uint32_t(i + 1), chunks[i].samples);
        append32(body, fits32(entries.size()));
        for (auto [first, count] : entries) {
            append32(body, first);
            append32(body, count);
            append32(body, 1);
        }
        const Bytes stsc = fullBox("stsc", 0, body);
        out.insert(out.end(), stsc.begin(), stsc.end());
    }
    {
        Bytes body;
        append32(body, 0);
        append32(body, fits32(samples.size()));
        for (const Sample& s : samples)
            append32(body, s.size);
        const Bytes stsz = fullBox("stsz", 0, body);
        out.insert(out.end(), stsz.begin(), stsz.end());
    }
    {
        Bytes body;
        append32(body, fits32(chunks.size()));
        for (const Chunk& c : chunks)
            append64(body, c.position);
        const Bytes co64 = fullBox("co64", 0, body);
        out.insert(out.end(), co64.begin(), co64.end());
    }
    return out;
}

// Rewrites the fragmented header into a complete one: durations filled in, sample tables built,
// the fragment declarations left out. Only version 0 header boxes are expected (a fragmented
// header has no durations that would need more).
class HeaderBuilder {
public:
    HeaderBuilder(const Bytes& moov, const std::map<uint32_t, std::vector<Sample>>& samples) : moov_(moov), samples_(samples)
    {
        const auto top = children(moov_, 8, moov_.size());
        const Box* mvhd = child(top, "mvhd");
        if (!mvhd || mvhd->end - mvhd->body < 20 || moov_[mvhd->body] != 0)
            throw Malformed();
        movieTimescale_ = be32(&moov_[mvhd->body + 12]);
        if (movieTimescale_ == 0)
            throw Malformed();
    }

    Bytes build()
    {
        Bytes body;
        uint64_t movieDuration = 0;
        std::vector<Bytes> traks;
        for (const Box& b : children(moov_, 8, moov_.size())) {
            if (b.type == "trak") {
                uint64_t duration = 0;
                Bytes trak = rebuildTrak(b, duration);
                movieDuration = std::max(movieDuration, duration);
                traks.push_back(std::move(trak));
            }
        }
        size_t nextTrak = 0;
        for (const Box& b : children(moov_, 8, moov_.size())) {
            if (b.type == "mvex")
                continue;
            if (b.type == "trak") {
                body.insert(body.end(), traks[nextTrak].begin(), traks[nextTrak].end());
                ++nextTrak;
                continue;
            }
            Bytes copy(moov_.begin() + long(b.start), moov_.begin() + long(b.end));
            if (b.type == "mvhd")
                put32(&copy[b.body - b.start + 16], fits32(movieDuration));
            body.insert(body.end(), copy.begin(), copy.end());
        }
        return box("moov", body);
    }

private:
    struct Track {
        uint32_t id = 0;
        uint32_t timescale = 0;
        bool video = false;
    };

    // Durations in the header's coarser timescale, to the nearest tick, so a track's end moves by
    // at most half a tick.
    uint64_t toMovieTime(uint64_t mediaTime, uint32_t mediaTimescale) const
    {
        return (mediaTime * movieTimescale_ + mediaTimescale / 2) / mediaTimescale;
    }

    Track describe(const Box& trak) const
    {
        Track track;
        const auto parts = children(moov_, trak.body, trak.end);
        const Box* tkhd = child(parts, "tkhd");
        const Box* mdia = child(parts, "mdia");
        if (!tkhd || !mdia || tkhd->end - tkhd->body < 24 || moov_[tkhd->body] != 0)
            throw Malformed();
        track.id = be32(&moov_[tkhd->body + 12]);
        const auto media = children(moov_, mdia->body, mdia->end);
        const Box* mdhd = child(media, "mdhd");
        const Box* hdlr = child(media, "hdlr");
        if (!mdhd || !hdlr || mdhd->end - mdhd->body < 20 || moov_[mdhd->body] != 0 || hdlr->end - hdlr->body < 12)
            throw Malformed();
        track.timescale = be32(&moov_[mdhd->body + 12]);
        track.video = std::memcmp(&moov_[hdlr->body + 8], "vide", 4) == 0;
        if (track.timescale == 0)
            throw Malformed();
        return track;
    }

    Bytes rebuildTrak(const Box& trak, uint64_t& movieDuration)
    {
        const Track track = describe(trak);
        const auto found = samples_.find(track.id);
        static const std::vector<Sample> none;
        const auto& samples = found == samples_.end() ? none : found->second;
        const uint64_t mediaEnd = samples.empty() ? 0 : samples.back().decodeTime + samples.back().duration;
        // Where the latest-ending sample ends on the presentation timeline (later than the decoding
        // end when frames are reordered).
        int64_t presentationEnd = 0;
        for (const Sample& s : samples)
            presentationEnd = std::max(presentationEnd, int64_t(s.decodeTime) + s.compositionOffset + s.duration);
        const Bytes tables = sampleTables(samples, track.video);

        // The edit list as written, with its last (media) segment lasting to the end of the media.
        uint64_t editsDuration = 0;
        auto rebuild = [&](auto&& self, const Box& container) -> Bytes {
            Bytes body;
            for (const Box& b : children(moov_, container.body, container.end)) {
                if (b.type == "mdia" || b.type == "minf" || b.type == "edts") {
                    const Bytes inner = self(self, b);
                    body.insert(body.end(), inner.begin(), inner.end());
                    continue;
                }
                if (b.type == "stbl") {
                    Bytes stbl;
                    for (const Box& s : children(moov_, b.body, b.end))
                        if (s.type == "stsd")
                            stbl.insert(stbl.end(), moov_.begin() + long(s.start), moov_.begin() + long(s.end));
                    stbl.insert(stbl.end(), tables.begin(), tables.end());
                    const Bytes out = box("stbl", stbl);
                    body.insert(body.end(), out.begin(), out.end());
                    continue;
                }
                Bytes copy(moov_.begin() + long(b.start), moov_.begin() + long(b.end));
                uint8_t* p = &copy[b.body - b.start];
                const size_t length = b.end - b.body;
                if (b.type == "mdhd")
                    put32(p + 16, fits32(mediaEnd));
                if (b.type == "elst") {
                    if (length < 8 || p[0] != 0)
                        throw Malformed();
                    const uint32_t count = be32(p + 4);
                    if (count == 0 || length < 8 + size_t(count) * 12)
                        throw Malformed();
                    for (uint32_t i = 0; i < count; ++i) {
                        uint8_t* entry = p + 8 + size_t(i) * 12;
                        if (i + 1 == count) {
                            const int32_t mediaTime = int32_t(be32(entry + 4));
                            const int64_t start = std::max<int64_t>(mediaTime, 0);
                            const uint64_t media = presentationEnd > start ? uint64_t(presentationEnd - start) : 0;
                            put32(entry, fits32(toMovieTime(media, track.timescale)));
                        }
                        editsDuration += be32(entry);
                    }
                }
                body.insert(body.end(), copy.begin(), copy.end());
            }
            return box(container.type.c_str(), body);
        };
        Bytes out = rebuild(rebuild, trak);
        if (editsDuration == 0)
            editsDuration = toMovieTime(mediaEnd, track.timescale);
        // tkhd is the trak's first child: its duration sits 20 bytes into its body.
        const auto parts = children(out, 8, out.size());
        const Box* tkhd = child(parts, "tkhd");
        if (!tkhd)
            throw Malformed();
        put32(&out[tkhd->body + 20], fits32(editsDuration));
        movieDuration = editsDuration;
        return out;
    }

    const Bytes& moov_;
    const std::map<uint32_t, std::vector<Sample>>& samples_;
    uint32_t movieTimescale_ = 0;
};

} // namespace

bool indexFragmentedFile(const std::filesystem::path& path) noexcept
{
    try {
        File file(path);
        if (!file.isOpen())
            return false;
        const uint64_t size = file.size();
        const auto boxes = topLevel(file, size);
        const TopBox* moovBox = nullptr;
        for (const TopBox& b : boxes)
            if (b.type == "moov" && !moovBox)
                moovBox = &b;
        if (!moovBox || moovBox->size > (64u << 20))
            return false;
        const Bytes moov = file.read(moovBox->start, size_t(moovBox->size));
        // The switch below rewrites the old header's first 16 bytes, inside the file's first page.
        if (moovBox->start + 16 > 4096 || moovBox->size < 16)
            return false;

        std::map<uint32_t, Defaults> trex;
        for (const Box& b : children(moov, 8, moov.size())) {
            if (b.type != "mvex")
                continue;
            for (const Box& t : children(moov, b.body, b.end)) {
                if (t.type == "trex" && t.end - t.body >= 24)
                    trex[be32(&moov[t.body + 4])] = {be32(&moov[t.body + 12]), be32(&moov[t.body + 16]), be32(&moov[t.body + 20])};
            }
        }
        if (trex.empty())
            return false; // not fragmented

        std::map<uint32_t, std::vector<Sample>> samples;
        for (const TopBox& b : boxes) {
            if (b.type != "moof")
                continue;
            if (b.size > (16u << 20))
                return false;
            readFragment(file.read(b.start, size_t(b.size)), b.start, trex, samples);
        }
        const Bytes complete = HeaderBuilder(moov, samples).build();

        // The complete header goes after everything; the fragmented one still rules until the switch.
        if (!file.write(size, complete) || !file.sync()) {
            file.truncate(size);
            return false;
        }
        // The switch: the old header's first 16 bytes become a 64-bit "mdat" header reaching up to
        // the complete header. One small write inside the file's first page, so it lands whole.
        Bytes switchover;
        append32(switchover, 1);
        switchover.insert(switchover.end(), {'m', 'd', 'a', 't'});
        append64(switchover, size - moovBox->start);
        if (!file.write(moovBox->start, switchover)) {
            file.truncate(size);
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace vi::media::detail
