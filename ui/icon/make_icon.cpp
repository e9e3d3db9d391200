// Build-time tool (runs on the build machine): draws Ostrabel's icon — a database cylinder
// with an adhesive patch across it — and writes it as an .ico with 48, 32, 24 and 16 pixel
// images of 256 colours each. Usage: make_icon <output.ico>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <vector>

namespace {

struct Rgb {
  double r = 0, g = 0, b = 0;
};

struct Pixel {
  std::uint8_t r = 0, g = 0, b = 0;
  bool opaque = false;
};

bool inEllipse(double x, double y, double cx, double cy, double rx, double ry) {
  double dx = (x - cx) / rx, dy = (y - cy) / ry;
  return dx * dx + dy * dy <= 1.0;
}

// Signed distance to a rounded rectangle centred at the origin.
double roundedBox(double x, double y, double hx, double hy, double radius) {
  double qx = std::fabs(x) - hx + radius, qy = std::fabs(y) - hy + radius;
  double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

// The colour of the artwork at (x, y) in [0,1]², or false where it is transparent.
bool sample(double x, double y, Rgb& out) {
  bool hit = false;
  // Database cylinder.
  const double left = 0.14, right = 0.86, top = 0.20, bottom = 0.80, ry = 0.10;
  const double cx = 0.5, rx = (right - left) / 2;
  bool body =
      (x >= left && x <= right && y >= top && y <= bottom) || inEllipse(x, y, cx, bottom, rx, ry);
  if (body) {
    hit = true;
    double shade = 0.75 + 0.35 * std::cos((x - 0.38) * 3.0);
    out = {40 * shade, 98 * shade, 176 * shade};
    for (double band : {0.40, 0.60}) {
      double dy = (x - cx) / rx;
      double arc = band + ry * std::sqrt(std::max(0.0, 1 - dy * dy));
      if (std::fabs(y - arc) < 0.025) out = {24, 62, 120};
    }
  }
  if (inEllipse(x, y, cx, top, rx, ry)) {
    hit = true;
    bool rim = !inEllipse(x, y, cx, top, rx - 0.03, ry - 0.025);
    out = rim ? Rgb{30, 78, 150} : Rgb{128, 182, 236};
  }
  // The patch: a rotated strip with a pad in the middle.
  const double angle = -0.62;
  double px = x - 0.5, py = y - 0.56;
  double u = px * std::cos(angle) - py * std::sin(angle);
  double v = px * std::sin(angle) + py * std::cos(angle);
  double d = roundedBox(u, v, 0.47, 0.14, 0.08);
  if (d <= 0) {
    hit = true;
    out = d > -0.035 ? Rgb{176, 92, 18} : Rgb{246, 164, 48};
    if (roundedBox(u, v, 0.13, 0.095, 0.03) <= 0) {
      out = {252, 222, 160};
      for (double du : {-0.07, 0.0, 0.07})
        for (double dv : {-0.045, 0.045})
          if ((u - du) * (u - du) + (v - dv) * (v - dv) < 0.018 * 0.018) out = {200, 120, 40};
    }
  }
  return hit;
}

std::vector<Pixel> render(int size) {
  const int ss = 4;
  std::vector<Pixel> image(static_cast<size_t>(size) * size);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      Rgb sum;
      int hits = 0;
      for (int sy = 0; sy < ss; ++sy) {
        for (int sx = 0; sx < ss; ++sx) {
          Rgb c;
          double x = (px + (sx + 0.5) / ss) / size, y = (py + (sy + 0.5) / ss) / size;
          if (sample(x, y, c)) {
            sum.r += c.r, sum.g += c.g, sum.b += c.b;
            ++hits;
          }
        }
      }
      Pixel& p = image[static_cast<size_t>(py) * size + px];
      if (hits * 2 >= ss * ss) {
        p.opaque = true;
        p.r = static_cast<std::uint8_t>(std::clamp(sum.r / hits, 0.0, 255.0));
        p.g = static_cast<std::uint8_t>(std::clamp(sum.g / hits, 0.0, 255.0));
        p.b = static_cast<std::uint8_t>(std::clamp(sum.b / hits, 0.0, 255.0));
      }
    }
  }
  return image;
}

std::uint32_t key(const Pixel& p) { return (p.r >> 3) << 10 | (p.g >> 3) << 5 | (p.b >> 3); }

// A palette of at most 256 colours: black for the transparent pixels, then the most
// frequent colours of all images.
std::vector<Pixel> makePalette(const std::vector<std::vector<Pixel>>& images) {
  std::map<std::uint32_t, std::pair<int, Pixel>> counts;
  for (const auto& image : images)
    for (const Pixel& p : image)
      if (p.opaque) {
        auto& entry = counts[key(p)];
        entry.first++;
        entry.second = p;
      }
  std::vector<std::pair<int, Pixel>> sorted;
  for (const auto& [k, v] : counts) sorted.push_back(v);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<Pixel> palette(1);  // index 0: black
  for (const auto& [n, p] : sorted) {
    if (palette.size() == 256) break;
    palette.push_back(p);
  }
  palette.resize(256);
  return palette;
}

std::uint8_t nearest(const std::vector<Pixel>& palette, const Pixel& p) {
  int best = 1, bestDistance = 1 << 30;
  for (int i = 1; i < 256; ++i) {
    int dr = palette[i].r - p.r, dg = palette[i].g - p.g, db = palette[i].b - p.b;
    int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) best = i, bestDistance = distance;
  }
  return static_cast<std::uint8_t>(best);
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(v & 0xff);
  out.push_back((v >> 8) & 0xff);
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, v & 0xffff);
  put16(out, v >> 16);
}

// One icon image: BITMAPINFOHEADER, palette, bottom-up 8-bit pixels, 1-bit transparency mask.
std::vector<std::uint8_t> encode(int size, const std::vector<Pixel>& image,
                                 const std::vector<Pixel>& palette) {
  const int xorStride = (size + 3) & ~3, andStride = ((size + 31) / 32) * 4;
  std::vector<std::uint8_t> out;
  put32(out, 40);
  put32(out, static_cast<std::uint32_t>(size));
  put32(out, static_cast<std::uint32_t>(size * 2));
  put16(out, 1);
  put16(out, 8);
  put32(out, 0);
  put32(out, static_cast<std::uint32_t>((xorStride + andStride) * size));
  put32(out, 0);
  put32(out, 0);
  put32(out, 256);
  put32(out, 0);
  for (const Pixel& p : palette) {
    out.push_back(p.b);
    out.push_back(p.g);
    out.push_back(p.r);
    out.push_back(0);
  }
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < xorStride; ++x) {
      const Pixel* p = x < size ? &image[static_cast<size_t>(y) * size + x] : nullptr;
      out.push_back(p && p->opaque ? nearest(palette, *p) : 0);
    }
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(static_cast<size_t>(andStride), 0);
    for (int x = 0; x < size; ++x)
      if (!image[static_cast<size_t>(y) * size + x].opaque) row[x / 8] |= 0x80 >> (x % 8);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon <output.ico>\n");
    return 2;
  }
  const int sizes[] = {48, 32, 24, 16};
  std::vector<std::vector<Pixel>> images;
  for (int size : sizes) images.push_back(render(size));
  std::vector<Pixel> palette = makePalette(images);

  std::vector<std::vector<std::uint8_t>> encoded;
  for (size_t i = 0; i < images.size(); ++i)
    encoded.push_back(encode(sizes[i], images[i], palette));

  std::vector<std::uint8_t> file;
  put16(file, 0);
  put16(file, 1);
  put16(file, static_cast<std::uint32_t>(encoded.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(encoded.size());
  for (size_t i = 0; i < encoded.size(); ++i) {
    file.push_back(static_cast<std::uint8_t>(sizes[i]));
    file.push_back(static_cast<std::uint8_t>(sizes[i]));
    file.push_back(0);  // 256 colours
    file.push_back(0);
    put16(file, 1);
    put16(file, 8);
    put32(file, static_cast<std::uint32_t>(encoded[i].size()));
    put32(file, offset);
    offset += static_cast<std::uint32_t>(encoded[i].size());
  }
  for (const auto& image : encoded) file.insert(file.end(), image.begin(), image.end());

  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return out ? 0 : 1;
}
