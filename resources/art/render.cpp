#include "resources/art/render.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "resources/art/painter.h"

namespace art {

namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

Surface Render(const Artwork& art) {
    // Opaque bitmaps are RGB24, so the PNG carries no alpha channel at all.
    Surface surface(
        cairo_image_surface_create(art.transparent ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24,
                                   art.width, art.height),
        cairo_surface_destroy);
    cairo_t* cr = cairo_create(surface.get());
    art.draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface.get());
    return surface;
}

std::string Save(cairo_surface_t* surface, const std::string& path) {
    const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    if (status != CAIRO_STATUS_SUCCESS)
        return "cannot write " + path + ": " + cairo_status_to_string(status);
    return {};
}

std::string MakeDir(const std::string& dir) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error)
        return "cannot create " + dir + ": " + error.message();
    return {};
}

std::string WriteAll(const std::vector<Artwork>& list, const std::string& dir, bool byId) {
    std::string error = MakeDir(dir);
    for (const Artwork& art : list) {
        if (!error.empty())
            break;
        const std::string file = byId ? std::to_string(art.id) + ".png" : art.name;
        error = WritePng(art, (std::filesystem::path(dir) / file).string());
    }
    return error;
}

// Contact sheet layout.
constexpr int kSheetWidth = 1360;
constexpr int kGap = 18;
constexpr int kZoom = 4;
constexpr int kZoomLimit = 40;  // bitmaps up to this size are also shown enlarged
constexpr int kLabelHeight = 34;
constexpr const char* kLabelFace = "DejaVu Sans";

struct Cell {
    const Artwork* art;
    int x, y, w, h;
};

bool Enlarged(const Artwork& art) {
    return std::max(art.width, art.height) <= kZoomLimit;
}

int CellWidth(const Artwork& art) {
    const int shown = art.width + (Enlarged(art) ? kGap / 2 + art.width * kZoom : 0);
    return std::max(shown, 150);
}

int CellHeight(const Artwork& art) {
    return (Enlarged(art) ? art.height * kZoom : art.height) + kLabelHeight;
}

std::vector<Cell> Layout(const std::vector<const Artwork*>& all, int& height) {
    std::vector<Cell> cells;
    int x = kGap, y = kGap, rowHeight = 0;
    for (const Artwork* art : all) {
        const int w = CellWidth(*art), h = CellHeight(*art);
        if (x + w + kGap > kSheetWidth && x > kGap) {
            x = kGap;
            y += rowHeight + kGap;
            rowHeight = 0;
        }
        cells.push_back({art, x, y, w, h});
        x += w + kGap;
        rowHeight = std::max(rowHeight, h);
    }
    height = y + rowHeight + kGap;
    return cells;
}

void Checker(cairo_t* cr, int x, int y, int w, int h) {
    // Shows where icons are transparent.
    for (int j = 0; j < h; j += 8) {
        for (int i = 0; i < w; i += 8) {
            const bool dark = ((i + j) / 8) % 2;
            Fill(cr, dark ? Rgb(204, 204, 210) : Rgb(232, 232, 236), x + i, y + j,
                 std::min(8, w - i), std::min(8, h - j));
        }
    }
}

void Place(cairo_t* cr, cairo_surface_t* image, const Artwork& art, int x, int y, int scale) {
    if (art.transparent)
        Checker(cr, x, y, art.width * scale, art.height * scale);
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);
}

void DrawCell(cairo_t* cr, const Cell& cell) {
    const Artwork& art = *cell.art;
    Surface image = Render(art);
    Place(cr, image.get(), art, cell.x, cell.y, 1);
    if (Enlarged(art))
        Place(cr, image.get(), art, cell.x + art.width + kGap / 2, cell.y, kZoom);
    const int labelTop = cell.y + cell.h - kLabelHeight;
    const std::string title = art.id ? std::to_string(art.id) : art.name;
    const std::string size = std::to_string(art.width) + " x " + std::to_string(art.height);
    DrawText(cr, title + "   " + size, kLabelFace, 700, 12, cell.x, labelTop + 14, palette::kInk);
    if (art.id)
        DrawText(cr, art.name, kLabelFace, 400, 11, cell.x, labelTop + 28, palette::kGlyph);
}

}  // namespace

std::string WritePng(const Artwork& art, const std::string& path) {
    Surface surface = Render(art);
    return Save(surface.get(), path);
}

std::string WriteBitmaps(const std::string& dir) {
    return WriteAll(Bitmaps(), dir, true);
}

std::string WritePayloadIcons(const std::string& dir) {
    return WriteAll(PayloadIcons(), dir, false);
}

std::string WriteSheet(const std::string& path) {
    std::vector<const Artwork*> all;
    for (const Artwork& art : Bitmaps())
        all.push_back(&art);
    for (const Artwork& art : PayloadIcons())
        all.push_back(&art);
    int height = 0;
    const std::vector<Cell> cells = Layout(all, height);
    Surface sheet(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSheetWidth, height),
                  cairo_surface_destroy);
    cairo_t* cr = cairo_create(sheet.get());
    Fill(cr, Rgb(222, 223, 230), 0, 0, kSheetWidth, height);
    for (const Cell& cell : cells)
        DrawCell(cr, cell);
    cairo_destroy(cr);
    cairo_surface_flush(sheet.get());
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        if (std::string error = MakeDir(parent.string()); !error.empty())
            return error;
    }
    return Save(sheet.get(), path);
}

}  // namespace art
