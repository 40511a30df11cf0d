// Writes the hand pointer HAND-M.CUR: a Windows cursor file with one 32x32 image of a hand pointing up,
// its hotspot at the tip of the index finger. Usage: make_hand_cursor OUTPUT
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

constexpr int kSize = 32;
constexpr int kHotX = 11;
constexpr int kHotY = 0;

using Mask = std::array<std::array<bool, kSize>, kSize>; // [y][x]

void fillRect(Mask& m, int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            m[y][x] = true;
}

// A finger: a column with its two top corners rounded off.
void finger(Mask& m, int x0, int x1, int top, int bottom) {
    fillRect(m, x0, top, x1, bottom);
    m[top][x0] = m[top][x1] = false;
}

// The thumb: a thick stroke from the palm up to the left.
void thumb(Mask& m) {
    const double ax = 3.5, ay = 13.5, bx = 9.5, by = 21.5, half = 2.3;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double t = std::clamp(((x - ax) * (bx - ax) + (y - ay) * (by - ay)) /
                                            ((bx - ax) * (bx - ax) + (by - ay) * (by - ay)),
                                        0.0, 1.0);
            const double dx = x - (ax + t * (bx - ax)), dy = y - (ay + t * (by - ay));
            if (std::sqrt(dx * dx + dy * dy) <= half)
                m[y][x] = true;
        }
}

Mask hand() {
    Mask m{};
    finger(m, 9, 13, 1, 17);  // index, pointing up
    finger(m, 15, 19, 8, 17); // middle
    finger(m, 21, 25, 10, 17);
    finger(m, 27, 29, 13, 17);  // little
    fillRect(m, 9, 17, 29, 26); // palm
    m[26][9] = m[26][29] = false;
    thumb(m);
    fillRect(m, 12, 28, 27, 30); // cuff
    return m;
}

void put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void put32(std::vector<std::uint8_t>& out, unsigned v) {
    put16(out, v & 0xFFFF);
    put16(out, (v >> 16) & 0xFFFF);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_hand_cursor OUTPUT\n");
        return 2;
    }
    const Mask fill = hand();
    // The outline: every pixel next to the hand (eight neighbours) that is not part of it.
    Mask line{};
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            if (fill[y][x])
                continue;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < kSize && ny < kSize && fill[ny][nx])
                        line[y][x] = true;
                }
        }

    const unsigned xorBytes = kSize * kSize * 4;
    const unsigned andBytes = kSize * (kSize / 8);
    const unsigned imageBytes = 40 + xorBytes + andBytes;

    std::vector<std::uint8_t> out;
    put16(out, 0); // reserved
    put16(out, 2); // cursor
    put16(out, 1); // one image
    out.push_back(kSize);
    out.push_back(kSize);
    out.push_back(0); // no palette
    out.push_back(0);
    put16(out, kHotX);
    put16(out, kHotY);
    put32(out, imageBytes);
    put32(out, 6 + 16);

    put32(out, 40);        // BITMAPINFOHEADER
    put32(out, kSize);     // width
    put32(out, kSize * 2); // colour image and mask together
    put16(out, 1);         // planes
    put16(out, 32);        // bits per pixel
    put32(out, 0);         // no compression
    put32(out, xorBytes + andBytes);
    for (int i = 0; i < 4; ++i)
        put32(out, 0);

    for (int y = kSize - 1; y >= 0; --y) // bottom-up, BGRA
        for (int x = 0; x < kSize; ++x) {
            const bool black = line[y][x], white = fill[y][x];
            const std::uint8_t c = white ? 255 : 0;
            out.insert(out.end(), {c, c, c, static_cast<std::uint8_t>(black || white ? 255 : 0)});
        }
    for (int y = kSize - 1; y >= 0; --y) // AND mask: 1 = transparent
        for (int byte = 0; byte < kSize / 8; ++byte) {
            std::uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = byte * 8 + bit;
                if (!line[y][x] && !fill[y][x])
                    bits |= static_cast<std::uint8_t>(0x80 >> bit);
            }
            out.push_back(bits);
        }

    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file) {
        std::fprintf(stderr, "make_hand_cursor: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
