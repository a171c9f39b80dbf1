// Draws the program's icon, a telephone handset on a rounded square, and
// writes it as a Windows .ico file with 16, 24, 32 and 48 pixel images
// (32-bit colour with alpha, plus the 1-bit mask older shells use).
//   icongen <out.ico> [#rrggbb]    the colour of the square (default a blue)
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Rgb {
    double r, g, b;
};

// Coverage of the shapes at a point of the unit square (x right, y down).
bool InRoundedSquare(double x, double y) {
    const double m = 0.04, r = 0.2;
    const double cx = std::clamp(x, m + r, 1 - m - r);
    const double cy = std::clamp(y, m + r, 1 - m - r);
    return std::hypot(x - cx, y - cy) <= r;
}

bool InCapsule(double x, double y, double ax, double ay, double bx, double by, double radius) {
    const double vx = bx - ax, vy = by - ay;
    const double t = std::clamp(((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy), 0.0, 1.0);
    return std::hypot(x - (ax + t * vx), y - (ay + t * vy)) <= radius;
}

// A handset lying on its back: a bow over the top and the ear and mouth pieces
// at its two ends.
bool InHandset(double x, double y) {
    const double cx = 0.5, cy = 0.64;
    const double d = std::hypot(x - cx, y - cy);
    if (y <= cy - 0.02 && d >= 0.2 && d <= 0.31) {
        return true;
    }
    return InCapsule(x, y, 0.16, 0.64, 0.33, 0.64, 0.085) ||
           InCapsule(x, y, 0.67, 0.64, 0.84, 0.64, 0.085);
}

std::vector<std::uint8_t> Draw(int size, Rgb top) {
    const Rgb bottom{top.r * 0.62, top.g * 0.62, top.b * 0.62};
    const int samples = 4;
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(size) * size * 4);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            double square = 0, phone = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const double x = (px + (sx + 0.5) / samples) / size;
                    const double y = (py + (sy + 0.5) / samples) / size;
                    if (InRoundedSquare(x, y)) {
                        square += 1;
                        if (InHandset(x, y)) {
                            phone += 1;
                        }
                    }
                }
            }
            square /= samples * samples;
            phone /= samples * samples;
            const double t = (py + 0.5) / size;
            Rgb c{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                  top.b + (bottom.b - top.b) * t};
            // The handset is white over the square; alpha is the square's
            // coverage (straight, not premultiplied, as icons store it).
            const double w = square > 0 ? phone / square : 0;
            c = {c.r + (255 - c.r) * w, c.g + (255 - c.g) * w, c.b + (255 - c.b) * w};
            // Rows bottom-up, as a DIB stores them.
            std::uint8_t* p = &bgra[(static_cast<std::size_t>(size - 1 - py) * size + px) * 4];
            p[0] = static_cast<std::uint8_t>(std::lround(c.b));
            p[1] = static_cast<std::uint8_t>(std::lround(c.g));
            p[2] = static_cast<std::uint8_t>(std::lround(c.r));
            p[3] = static_cast<std::uint8_t>(std::lround(square * 255));
        }
    }
    return bgra;
}

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void Put32(std::vector<std::uint8_t>& out, unsigned v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// BITMAPINFOHEADER (height doubled for the mask), the pixels, the AND mask.
std::vector<std::uint8_t> IconImage(int size, Rgb colour) {
    const std::vector<std::uint8_t> bgra = Draw(size, colour);
    const int maskStride = ((size + 31) / 32) * 4;
    std::vector<std::uint8_t> image;
    Put32(image, 40);
    Put32(image, size);
    Put32(image, size * 2);
    Put16(image, 1);
    Put16(image, 32);
    Put32(image, 0);
    Put32(image, static_cast<unsigned>(bgra.size() + maskStride * size));
    Put32(image, 0);
    Put32(image, 0);
    Put32(image, 0);
    Put32(image, 0);
    image.insert(image.end(), bgra.begin(), bgra.end());
    for (int row = 0; row < size; ++row) {
        std::vector<std::uint8_t> mask(maskStride, 0);
        for (int x = 0; x < size; ++x) {
            if (bgra[(static_cast<std::size_t>(row) * size + x) * 4 + 3] == 0) {
                mask[x / 8] |= 0x80 >> (x % 8);
            }
        }
        image.insert(image.end(), mask.begin(), mask.end());
    }
    return image;
}

bool ParseColour(const std::string& text, Rgb* colour) {
    if (text.size() != 7 || text[0] != '#') {
        return false;
    }
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str() + 1, &end, 16);
    if (*end != '\0') {
        return false;
    }
    *colour = {double((v >> 16) & 0xFF), double((v >> 8) & 0xFF), double(v & 0xFF)};
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Rgb colour{43, 108, 176};
    if (argc < 2 || argc > 3 || (argc == 3 && !ParseColour(argv[2], &colour))) {
        std::cerr << "usage: icongen <out.ico> [#rrggbb]\n";
        return 2;
    }
    const int sizes[] = {16, 24, 32, 48};
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes) {
        images.push_back(IconImage(size, colour));
    }
    std::vector<std::uint8_t> file;
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, static_cast<unsigned>(images.size()));
    unsigned offset = 6 + 16 * static_cast<unsigned>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<std::uint8_t>(sizes[i]));
        file.push_back(static_cast<std::uint8_t>(sizes[i]));
        file.push_back(0);
        file.push_back(0);
        Put16(file, 1);
        Put16(file, 32);
        Put32(file, static_cast<unsigned>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<unsigned>(images[i].size());
    }
    for (const auto& image : images) {
        file.insert(file.end(), image.begin(), image.end());
    }
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    if (!out) {
        std::cerr << "icongen: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
