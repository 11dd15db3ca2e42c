// vortalis-texgen: draws the textures of the default content that are made
// rather than painted, so that the archive is built from source alone.
//
//     vortalis-texgen OUTPUT_DIRECTORY
//
// writes, all 256 x 256 and tileable (the texture cache sets wrap to repeat):
//
// - noise.png: three independent octave noises, one per channel, for smoke,
//   fire and flow fields;
// - bricks.png: a running bond of bevelled bricks (red: height, green: a tone
//   per brick, blue: a fine grain), the wall of the tunnels;
// - paper.png: a pale paper grain with fibres, for ink on paper.
//
// Every number comes from a hash of its position and a seed, never from the
// C library's generator, so the pictures are the same on every machine and
// every build.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "render/imageFile.h"

namespace {

constexpr int kSize = 256;

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return h;
}

// A number in [0, 1) for a lattice point.
double lattice(int x, int y, uint32_t seed) {
    return hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) / 4294967296.0;
}

double smooth(double t) {
    return t * t * t * (t * (t * 6.0 - 15.0) + 10.0);
}

// Value noise with `across` x `down` lattice cells over the texture,
// wrapping at its edges; x and y in pixels.
double valueNoise(double x, double y, int across, int down, uint32_t seed) {
    double fx = x * across / kSize;
    double fy = y * down / kSize;
    int x0 = static_cast<int>(std::floor(fx));
    int y0 = static_cast<int>(std::floor(fy));
    double tx = smooth(fx - x0);
    double ty = smooth(fy - y0);
    auto at = [&](int i, int j) {
        return lattice(((i % across) + across) % across, ((j % down) + down) % down, seed);
    };
    double top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * tx;
    double bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * tx;
    return top + (bottom - top) * ty;
}

// Five octaves from 4 cells across, each half as strong; 0 to 1.
double octaves(double x, double y, uint32_t seed) {
    double sum = 0.0;
    double weight = 0.5;
    double total = 0.0;
    for (int octave = 0, cells = 4; octave < 5; ++octave, cells *= 2, weight *= 0.5) {
        sum += weight * valueNoise(x, y, cells, cells, seed + octave);
        total += weight;
    }
    return sum / total;
}

uint8_t byte(double v) {
    return static_cast<uint8_t>(std::lround(std::fmin(std::fmax(v, 0.0), 1.0) * 255.0));
}

// Octave noise has most of its values near the middle; stretching around
// 0.5 spreads them over the whole range.
double stretch(double v) {
    return 0.5 + (v - 0.5) * 2.2;
}

Image noise() {
    Image image = imageMake(kSize, kSize, false);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            uint8_t* p = image.pixel(x, y);
            for (int c = 0; c < 3; ++c)
                p[c] = byte(stretch(octaves(x, y, 11u + 97u * c)));
        }
    return image;
}

Image bricks() {
    constexpr int kBrickWidth = 64;
    constexpr int kBrickHeight = 32;
    constexpr double kBevel = 5.0;
    Image image = imageMake(kSize, kSize, false);
    for (int y = 0; y < kSize; ++y) {
        int row = y / kBrickHeight;
        int shift = (row % 2) * kBrickWidth / 2;  // the running bond
        for (int x = 0; x < kSize; ++x) {
            int bx = (x + shift) % kSize;
            int column = bx / kBrickWidth;
            double edge =
                std::fmin(std::fmin(bx % kBrickWidth, kBrickWidth - 1 - bx % kBrickWidth),
                          std::fmin(y % kBrickHeight, kBrickHeight - 1 - y % kBrickHeight));
            double height = edge < 1.5 ? 0.0 : std::fmin(1.0, (edge - 1.5) / kBevel);
            uint8_t* p = image.pixel(x, y);
            p[0] = byte(height * (0.85 + 0.15 * octaves(x, y, 301u)));
            p[1] = byte(0.25 + 0.75 * lattice(column, row, 302u));
            p[2] = byte(stretch(valueNoise(x, y, 64, 64, 303u) * 0.5 + octaves(x, y, 304u) * 0.5));
        }
    }
    return image;
}

Image paper() {
    Image image = imageMake(kSize, kSize, false);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            // Fibres: noise stretched along one direction, then thinned.
            double fibre = valueNoise(x, y, 16, 256, 401u);
            fibre = std::fmax(0.0, fibre - 0.7) * 3.0;
            double grain = valueNoise(x, y, 128, 128, 402u) * 0.5 + octaves(x, y, 403u) * 0.5;
            double v = 0.86 + 0.08 * grain - 0.1 * fibre;
            uint8_t* p = image.pixel(x, y);
            p[0] = byte(v);
            p[1] = byte(v * 0.985);
            p[2] = byte(v * 0.95);
        }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vortalis-texgen OUTPUT_DIRECTORY\n");
        return 2;
    }
    std::string directory = argv[1];
    if (directory.back() != '/') directory += '/';
    struct {
        const char* name;
        Image (*draw)();
    } textures[] = {{"noise.png", noise}, {"bricks.png", bricks}, {"paper.png", paper}};
    for (const auto& texture : textures) {
        std::string path = directory + texture.name;
        if (!imageSave(path.c_str(), texture.draw())) {
            std::fprintf(stderr, "vortalis-texgen: cannot write '%s'\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
