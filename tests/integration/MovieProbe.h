#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CommandOutput.h"
#include "TemporaryFolder.h"

namespace vx::fixtures {

inline std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// A movie as ffprobe reads it back, independently of the code that wrote it.
struct MovieProbe {
    struct Stream {
        std::string type, codec;
        int64_t width = 0, height = 0, sampleRate = 0, channels = 0;
        double duration = -1;  // seconds
        int64_t durationTs = -1, timeBaseNum = 0, timeBaseDen = 1;

        // `value` in the stream's time base is numerator / denominator, exactly.
        bool atTime(int64_t value, int64_t numerator, int64_t denominator) const {
            return value * timeBaseNum * denominator == numerator * timeBaseDen;
        }
    };
    struct Packet {
        int64_t pts = 0;
        bool key = false;
    };

    explicit MovieProbe(const std::filesystem::path& movie) {
        std::istringstream lines(commandOutput(
            "ffprobe -v quiet -show_entries stream=codec_type,codec_name,width,height,"
            "sample_rate,channels,duration,duration_ts,time_base -of compact=p=0 " +
            quoted(movie)));
        for (std::string line; std::getline(lines, line);) {
            std::map<std::string, std::string> field;
            std::istringstream items(line);
            for (std::string item; std::getline(items, item, '|');) {
                const size_t equals = item.find('=');
                field[item.substr(0, equals)] = item.substr(equals + 1);
            }
            const auto number = [&](const char* key) {
                return field[key].empty() || field[key] == "N/A" ? -1 : std::stod(field[key]);
            };
            Stream& stream = streams.emplace_back(
                field["codec_type"], field["codec_name"], int64_t(number("width")),
                int64_t(number("height")), int64_t(number("sample_rate")),
                int64_t(number("channels")), number("duration"), int64_t(number("duration_ts")));
            std::sscanf(field["time_base"].c_str(), "%ld/%ld", &stream.timeBaseNum,
                        &stream.timeBaseDen);
        }
        std::istringstream packetLines(
            commandOutput("ffprobe -v quiet -select_streams v:0 -show_entries packet=pts,flags "
                          "-of csv=p=0 " +
                          quoted(movie)));
        for (std::string line; std::getline(packetLines, line);) {
            packets.push_back({std::atoll(line.c_str()), line.find('K') != std::string::npos});
        }
    }

    // The first stream of `type` ("video", "audio"), or an empty one.
    Stream stream(const std::string& type) const {
        for (const Stream& stream : streams) {
            if (stream.type == type) {
                return stream;
            }
        }
        return {};
    }

    std::vector<Stream> streams;
    std::vector<Packet> packets;  // of the picture, in the order they are stored
};

struct Box {
    std::string type;
    size_t offset = 0, size = 0;
};

// The top-level boxes of a movie's bytes (or those inside `from`..`to`), read
// here independently of the writers' own scanner.
inline std::vector<Box> boxes(const std::string& bytes, size_t from, size_t to) {
    std::vector<Box> found;
    while (from + 8 <= to) {
        size_t size = 0;
        for (int i = 0; i < 4; ++i)
            size = size << 8 | uint8_t(bytes[from + i]);
        if (size < 8 || from + size > to)
            break;
        found.push_back({bytes.substr(from + 4, 4), from, size});
        from += size;
    }
    return found;
}

// A fragmented movie declares its fragments in an mvex box inside moov.
inline bool isFragmented(const std::filesystem::path& movie) {
    const std::string bytes = contents(movie);
    for (const Box& box : boxes(bytes, 0, bytes.size())) {
        if (box.type == "moov") {
            for (const Box& child : boxes(bytes, box.offset + 8, box.offset + box.size)) {
                if (child.type == "mvex")
                    return true;
            }
        }
    }
    return false;
}

// A regular movie that plays while it downloads: the index (moov) before the
// media (mdat), and no fragment anywhere.
inline bool isRegularWithIndexInFront(const std::filesystem::path& movie) {
    const std::string bytes = contents(movie);
    std::string order;
    for (const Box& box : boxes(bytes, 0, bytes.size())) {
        if (box.type == "moof")
            return false;
        if (box.type == "moov" || box.type == "mdat")
            order += box.type;
    }
    return order == "moovmdat" && !isFragmented(movie);
}

// Errors the decoder reports for the whole movie; empty for a clean file.
inline std::string decodeErrors(const std::filesystem::path& movie) {
    return commandOutput("ffmpeg -nostdin -v error -i " + quoted(movie) + " -f null - 2>&1");
}

// What an ffmpeg sound filter reports of the sound it reads with `input` (the
// arguments that name the input).
inline std::string soundReport(const std::string& input, const std::string& filter) {
    return commandOutput("ffmpeg -nostdin -v info " + input + " -map 0:a -af " + filter +
                         " -f null - 2>&1");
}

// The mean volume in dB of the sound read with `input`; -999 when there is none.
inline double meanVolumeOf(const std::string& input) {
    const std::string report = soundReport(input, "volumedetect");
    const size_t at = report.find("mean_volume:");
    return at == std::string::npos ? -999 : std::stod(report.substr(at + 12));
}

// The mean loudness of the movie's sound in dB below full scale; -91 is digital silence.
inline double meanVolume(const std::filesystem::path& movie) {
    return meanVolumeOf("-i " + quoted(movie));
}

// How long the movie's sound is silent from its start (below -40 dB).
inline double leadingSilence(const std::filesystem::path& movie) {
    const std::string report = soundReport("-i " + quoted(movie), "silencedetect=n=-40dB:d=0.02");
    if (report.find("silence_start: 0\n") == std::string::npos) {
        return 0;
    }
    const size_t at = report.find("silence_end:");
    return at == std::string::npos ? 999 : std::stod(report.substr(at + 12));
}

}  // namespace vx::fixtures
