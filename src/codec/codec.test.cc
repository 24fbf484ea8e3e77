#include "codec/codec.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

using namespace dravik::codec;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

std::string decode_error(const Bytes &b, const std::function<void(Reader &)> &fn) {
    SpanReader r(b);
    try {
        fn(r);
    } catch (const FormatError &e) {
        return e.what();
    }
    return "no error";
}

fs::path temp_dir() {
    auto p = fs::temp_directory_path() / ("dravik_codec_" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p;
}

Bytes read_all(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(Varint, ShortestFormAndRoundTrip) {
    const std::pair<uint64_t, Bytes> cases[] = {
        {0, {0x00}},
        {127, {0x7f}},
        {128, {0x80, 0x01}},
        {300, {0xac, 0x02}},
        {0x02000008, {0x88, 0x80, 0x80, 0x10}},
        {0xffffffffu, {0xff, 0xff, 0xff, 0xff, 0x0f}},
        {~uint64_t(0), {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}},
    };
    for (const auto &[value, bytes] : cases) {
        BytesWriter w;
        write_varint(w, value);
        EXPECT_EQ(w.bytes(), bytes) << value;
        SpanReader r(bytes);
        EXPECT_EQ(read_varint(r, 64), value);
        EXPECT_EQ(r.remaining(), 0u);
        if (value <= 0xffffffffu) {
            SpanReader r32(bytes);
            EXPECT_EQ(read_u32(r32), value);
        }
    }
}

TEST(Varint, LimitsAndTruncation) {
    auto u32 = [](Reader &r) { read_u32(r); };
    auto u64 = [](Reader &r) { read_u64(r); };
    // Fifth byte of a 32-bit quantity: only the low four bits may be set.
    EXPECT_EQ(decode_error({0xff, 0xff, 0xff, 0xff, 0x0f}, u32), "no error");
    EXPECT_EQ(decode_error({0xff, 0xff, 0xff, 0xff, 0x10}, u32), MSG_BAD_VARINT);
    EXPECT_EQ(decode_error({0x80, 0x80, 0x80, 0x80, 0x80, 0x00}, u32), MSG_BAD_VARINT);
    // A non-minimal but in-range form is accepted.
    EXPECT_EQ(decode_error({0x80, 0x80, 0x00}, u32), "no error");
    // Tenth byte of a 64-bit quantity: only the lowest bit.
    Bytes nine(9, 0xff);
    auto with = [&](uint8_t last) {
        Bytes b = nine;
        b.push_back(last);
        return b;
    };
    EXPECT_EQ(decode_error(with(0x01), u64), "no error");
    EXPECT_EQ(decode_error(with(0x02), u64), MSG_BAD_VARINT);
    EXPECT_EQ(decode_error(with(0x80), u64), MSG_BAD_VARINT);
    // Ends inside a varint, or before it.
    EXPECT_EQ(decode_error({0x80, 0x80}, u32), MSG_UNEXPECTED_END);
    EXPECT_EQ(decode_error({}, u64), MSG_UNEXPECTED_END);
}

TEST(Strings, Utf8Validation) {
    const std::pair<Bytes, bool> cases[] = {
        {{'c', 'x'}, true},
        {{'u', 0xe2, 0x80, 0xa0}, true},          // dagger
        {{0xf0, 0x9f, 0x98, 0x80}, true},         // U+1F600
        {{0xf4, 0x8f, 0xbf, 0xbf}, true},         // U+10FFFF
        {{0xc0, 0x80}, false},                    // overlong NUL
        {{0xe0, 0x80, 0x80}, false},              // overlong
        {{0xed, 0xa0, 0x80}, false},              // surrogate
        {{0xf4, 0x90, 0x80, 0x80}, false},        // above U+10FFFF
        {{0xe2, 0x80}, false},                    // truncated sequence
        {{0x80}, false},                          // lone continuation
        {{0xff}, false},
        {{'a', 0xc3, 'b'}, false},
    };
    for (const auto &[text, ok] : cases) {
        Bytes enc = {uint8_t(text.size())};
        enc.insert(enc.end(), text.begin(), text.end());
        EXPECT_EQ(decode_error(enc, [](Reader &r) { read_str(r); }), ok ? "no error" : MSG_BAD_UTF8)
            << testing::PrintToString(text);
    }
}

TEST(Strings, RoundTripAcrossBlocksAndHugeLengths) {
    std::string big(3 * BLOCK_SIZE + 17, 'q');
    BytesWriter w;
    write_str(w, "");
    write_str(w, big);
    write_str(w, "tdg\xE2\x80\xA0");
    Bytes b = w.bytes();
    SpanReader r(b);
    EXPECT_EQ(read_str(r), "");
    EXPECT_EQ(read_str(r), big);
    EXPECT_EQ(read_str(r), "tdg\xE2\x80\xA0");
    // A declared length of 4 GiB with three bytes behind it: end of data, not
    // an allocation of the declared size.
    EXPECT_EQ(decode_error({0xff, 0xff, 0xff, 0xff, 0x0f, 'a', 'b', 'c'}, [](Reader &r) { read_str(r); }),
              MSG_UNEXPECTED_END);
    EXPECT_EQ(decode_error({0xff, 0xff, 0xff, 0xff, 0x0f, 1, 2},
                           [](Reader &r) { read_seq<uint64_t>(r, [](Reader &r) { return read_u64(r); }); }),
              MSG_UNEXPECTED_END);
    EXPECT_LE(bounded_reserve(0xffffffffu, 24) * 24, MAX_RESERVE_BYTES);
}

TEST(Files, WriteReadModeAndTruncation) {
    auto dir = temp_dir();
    auto path = (dir / "data.bin").string();
    std::string payload(2 * BLOCK_SIZE + 5, 'z');
    mode_t old = ::umask(0);
    save_file(path, [&](Writer &w) {
        write_str(w, payload);
        write_u64(w, 42);
    });
    ::umask(old);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    auto back = load_file(path, [](Reader &r) {
        auto s = read_str(r);
        return std::make_pair(s, read_u64(r));
    });
    EXPECT_EQ(back.first, payload);
    EXPECT_EQ(back.second, 42u);
    // Saving again truncates: only the new, shorter value remains.
    save_file(path, [&](Writer &w) { write_u32(w, 7); });
    EXPECT_EQ(read_all(path), Bytes{7});
    // Truncated file.
    save_file(path, [&](Writer &w) { write_len(w, 3); });
    try {
        load_file(path, [](Reader &r) { return read_str(r); });
        FAIL() << "no error";
    } catch (const FormatError &e) {
        EXPECT_EQ(std::string(e.what()), std::string(READ_PREFIX) + MSG_UNEXPECTED_END);
    }
    fs::remove_all(dir);
}

TEST(Files, FailuresAreReported) {
    auto dir = temp_dir();
    auto message = [](auto &&fn) -> std::string {
        try {
            fn();
        } catch (const FileError &e) {
            return std::string("FileError: ") + e.what();
        } catch (const FormatError &e) {
            return std::string("FormatError: ") + e.what();
        }
        return "no error";
    };
    auto missing = (dir / "no" / "such.bin").string();
    EXPECT_EQ(message([&] { save_file(missing, [](Writer &w) { write_u32(w, 1); }); })
                  .rfind("FileError: Failed to create file: No such file or directory", 0),
              0u);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(message([&] { save_file(dir.string(), [](Writer &) {}); }).rfind("FileError: Failed to create file: ", 0),
              0u);
    EXPECT_EQ(message([&] { load_file(missing, [](Reader &r) { return read_u32(r); }); })
                  .rfind("FileError: Failed to open file: ", 0),
              0u);
    // A directory opens but cannot be read: a read error.
    EXPECT_EQ(message([&] { load_file(dir.string(), [](Reader &r) { return read_u32(r); }); }),
              std::string("FormatError: ") + READ_PREFIX + MSG_UNEXPECTED_END);
    // A full device: small writes fail at the final flush, large ones at once.
    if (fs::exists("/dev/full")) {
        for (std::size_t n : {std::size_t(1), 5 * BLOCK_SIZE}) {
            EXPECT_EQ(message([&] { save_file("/dev/full", [&](Writer &w) { write_str(w, std::string(n, 'x')); }); }),
                      std::string("FormatError: ") + WRITE_PREFIX + MSG_WRITE_FULL)
                << n;
        }
    }
    fs::remove_all(dir);
}
