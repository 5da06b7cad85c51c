#include "tools/korvel-art/render.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "resources/resource_ids.h"
#include "tools/korvel-art/painter.h"

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

struct Heading {
    std::string title;
    int y;
};

struct Section {
    std::string title;
    std::vector<const Artwork*> items;
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

// Pictures that are seen together sit together, states side by side.
std::vector<Section> Sections() {
    const std::pair<const char*, std::vector<int>> order[] = {
        {"Installer window",
         {IDI_KORVEL, IDB_PRODUCT_LOGO, IDB_PRODUCT_LOGO_X64, IDB_PRODUCT_LOGO2,
          IDB_PRODUCT_LOGO2_X64, IDB_CLOSE_NORMAL, IDB_CLOSE_HOVER, IDB_CLOSE_PRESSED,
          IDB_MIN_NORMAL, IDB_MIN_HOVER, IDB_MIN_PRESSED, IDB_CLOSE_FINISHED, IDB_MIN_FINISHED,
          IDB_MIN_FINISHED_HOVER, IDB_MIN_FINISHED_PRESSED}},
        {"Custom panel",
         {IDB_CUSTOM_CLOSED, IDB_CUSTOM_CLOSED_HOVER, IDB_CUSTOM_OPEN, IDB_CUSTOM_OPEN_HOVER,
          IDB_CHECK_OFF, IDB_CHECK_OFF_HOVER, IDB_CHECK_ON, IDB_CHECK_ON_HOVER, IDB_BROWSE_NORMAL,
          IDB_BROWSE_HOVER, IDB_BROWSE_PRESSED}},
        {"Message box",
         {IDB_MSGBOX_BUTTON_NORMAL, IDB_MSGBOX_BUTTON_HOVER, IDB_MSGBOX_BUTTON_PRESSED,
          IDB_MSGBOX_CLOSE_NORMAL, IDB_MSGBOX_CLOSE_HOVER, IDB_MSGBOX_CLOSE_PRESSED,
          IDB_MSGBOX_ICON}},
        {"Large logos",
         {IDB_LARGE_LOGO_GREY, IDB_LARGE_LOGO_COLOUR, IDB_INSTALL_LOGO, IDB_FAILED_LOGO,
          IDB_LARGE_LOGO_OUTLINE, IDB_LARGE_LOGO_DONE}},
        {"Finished page", {IDB_FINISHED_BACKGROUND}},
    };
    std::vector<Section> sections;
    std::vector<const Artwork*> placed;
    for (const auto& [title, ids] : order) {
        Section section{title, {}};
        for (int id : ids) {
            for (const Artwork& art : Bitmaps()) {
                if (art.id == id) {
                    section.items.push_back(&art);
                    placed.push_back(&art);
                }
            }
        }
        sections.push_back(section);
    }
    // Nothing drawn is left off the sheet, even if the order above lags behind.
    Section other{"Other bitmaps", {}};
    for (const Artwork& art : Bitmaps()) {
        if (std::find(placed.begin(), placed.end(), &art) == placed.end())
            other.items.push_back(&art);
    }
    if (!other.items.empty())
        sections.push_back(other);
    Section icons{"Product icons (payload files)", {}};
    for (const Artwork& art : PayloadIcons())
        icons.items.push_back(&art);
    sections.push_back(icons);
    return sections;
}

constexpr int kHeadingHeight = 30;

std::vector<Cell> Layout(const std::vector<Section>& sections, std::vector<Heading>& headings,
                         int& height) {
    std::vector<Cell> cells;
    int y = kGap;
    for (const Section& section : sections) {
        headings.push_back({section.title, y});
        y += kHeadingHeight;
        int x = kGap, rowHeight = 0;
        for (const Artwork* art : section.items) {
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
        y += rowHeight + kGap * 2;
    }
    height = y;
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
    std::vector<Heading> headings;
    int height = 0;
    const std::vector<Cell> cells = Layout(Sections(), headings, height);
    Surface sheet(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSheetWidth, height),
                  cairo_surface_destroy);
    cairo_t* cr = cairo_create(sheet.get());
    Fill(cr, Rgb(222, 223, 230), 0, 0, kSheetWidth, height);
    for (const Heading& heading : headings)
        DrawText(cr, heading.title, kLabelFace, 700, 16, kGap, heading.y + 18, palette::kIndigo);
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
