// Draws the program's icons, a telephone handset on a rounded square, and
// writes each as a Windows .ico file with 16, 20, 24, 32, 40 and 48 pixel
// images (32-bit colour with alpha, plus the 1-bit mask older shells use).
//   icongen <picture> <out.ico>
// Pictures: program (the program itself, blue), and the tray's states:
// active (green: on line with the handset), noany (grey: off line or no
// active handset), nohw (grey, the handset struck through: no handset) and
// noskype (grey with a red warning badge: Skype is missing).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Rgb {
    double r, g, b;
};

struct Picture {
    const char* name;
    Rgb square;   // colour at the top; the bottom is darker
    bool struck;  // a red bar across the handset
    bool badge;   // a red disc with an exclamation mark, bottom right
};

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kRed{214, 40, 40};

const Picture kPictures[] = {
    {"program", {43, 108, 176}, false, false}, {"active", {40, 150, 75}, false, false},
    {"noany", {128, 134, 142}, false, false},  {"nohw", {128, 134, 142}, true, false},
    {"noskype", {128, 134, 142}, false, true},
};

// Shapes on the unit square (x right, y down).
bool InRoundedSquare(double x, double y) {
    const double m = 0.04, r = 0.2;
    const double cx = std::clamp(x, m + r, 1 - m - r);
    const double cy = std::clamp(y, m + r, 1 - m - r);
    return std::hypot(x - cx, y - cy) <= r;
}

double DistanceToSegment(double x, double y, double ax, double ay, double bx, double by) {
    const double vx = bx - ax, vy = by - ay;
    const double t = std::clamp(((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy), 0.0, 1.0);
    return std::hypot(x - (ax + t * vx), y - (ay + t * vy));
}

// A handset lying on its back: a bow over the top and the ear and mouth pieces
// at its two ends.
bool InHandset(double x, double y) {
    const double cx = 0.5, cy = 0.64;
    const double d = std::hypot(x - cx, y - cy);
    if (y <= cy - 0.02 && d >= 0.2 && d <= 0.31) {
        return true;
    }
    return DistanceToSegment(x, y, 0.16, 0.64, 0.33, 0.64) <= 0.085 ||
           DistanceToSegment(x, y, 0.67, 0.64, 0.84, 0.64) <= 0.085;
}

// The colour of one point inside the square: the layers from the bottom up.
// A strike or badge keeps a rim of the square's colour around it, so that it
// stays apart from the handset even at 16 pixels.
Rgb ColourAt(const Picture& picture, double x, double y, Rgb square) {
    if (picture.badge) {
        const double d = std::hypot(x - 0.72, y - 0.72);
        if (d <= 0.23) {
            const bool mark = DistanceToSegment(x, y, 0.72, 0.59, 0.72, 0.73) <= 0.045 ||
                              std::hypot(x - 0.72, y - 0.84) <= 0.045;
            return mark ? kWhite : kRed;
        }
        if (d <= 0.29) {
            return square;
        }
    }
    if (picture.struck) {
        const double d = DistanceToSegment(x, y, 0.2, 0.2, 0.8, 0.8);
        if (d <= 0.065) {
            return kRed;
        }
        if (d <= 0.125) {
            return square;
        }
    }
    return InHandset(x, y) ? kWhite : square;
}

std::vector<std::uint8_t> Draw(int size, const Picture& picture) {
    const Rgb top = picture.square;
    const Rgb bottom{top.r * 0.62, top.g * 0.62, top.b * 0.62};
    const int samples = 4;
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(size) * size * 4);
    for (int py = 0; py < size; ++py) {
        const double t = (py + 0.5) / size;
        const Rgb square{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                         top.b + (bottom.b - top.b) * t};
        for (int px = 0; px < size; ++px) {
            double covered = 0;
            Rgb sum{0, 0, 0};
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const double x = (px + (sx + 0.5) / samples) / size;
                    const double y = (py + (sy + 0.5) / samples) / size;
                    if (InRoundedSquare(x, y)) {
                        const Rgb c = ColourAt(picture, x, y, square);
                        sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                        covered += 1;
                    }
                }
            }
            // Straight (not premultiplied) colour, as icons store it; alpha
            // is the square's coverage.
            const Rgb c =
                covered > 0 ? Rgb{sum.r / covered, sum.g / covered, sum.b / covered} : Rgb{0, 0, 0};
            // Rows bottom-up, as a DIB stores them.
            std::uint8_t* p = &bgra[(static_cast<std::size_t>(size - 1 - py) * size + px) * 4];
            p[0] = static_cast<std::uint8_t>(std::lround(c.b));
            p[1] = static_cast<std::uint8_t>(std::lround(c.g));
            p[2] = static_cast<std::uint8_t>(std::lround(c.r));
            p[3] = static_cast<std::uint8_t>(std::lround(covered / (samples * samples) * 255));
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
std::vector<std::uint8_t> IconImage(int size, const Picture& picture) {
    const std::vector<std::uint8_t> bgra = Draw(size, picture);
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

}  // namespace

int main(int argc, char** argv) {
    const Picture* picture = nullptr;
    for (const Picture& candidate : kPictures) {
        if (argc == 3 && std::strcmp(argv[1], candidate.name) == 0) {
            picture = &candidate;
        }
    }
    if (picture == nullptr) {
        std::cerr << "usage: icongen program|active|noany|nohw|noskype <out.ico>\n";
        return 2;
    }
    // 100 % to 300 % of the 16-pixel tray and small-icon size.
    const int sizes[] = {16, 20, 24, 32, 40, 48};
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes) {
        images.push_back(IconImage(size, *picture));
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
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    if (!out) {
        std::cerr << "icongen: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
