// The skin bitmaps of the UI mode in use, by id. Bitmaps come from the resources the skin
// generator drew at build time (":/skin/m<mode>/<id>.png"); an id the skin does not have gives a
// null pixmap, and controls then draw nothing in its place.
//
// Thread: UI thread only (pixmaps).
#pragma once

#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QString>

namespace tavero::ui {

class SkinSet {
public:
    // The process's skin; mode 0 until the main window sets the mode it runs in.
    [[nodiscard]] static SkinSet& current();

    SkinSet();

    // Modes outside 0..2 have no bitmaps at all.
    void setMode(int mode);
    [[nodiscard]] int mode() const { return m_mode; }

    // The bitmap `id` of the current mode; null when there is none.
    [[nodiscard]] QPixmap pixmap(int id) const;
    [[nodiscard]] bool contains(int id) const { return !pixmap(id).isNull(); }

    // A picture answered for `id` in every mode, ahead of the generated skin, until removed
    // (pictures a caller draws itself, and tests).
    void insert(int id, const QPixmap& picture);
    void remove(int id);

private:
    int m_mode = 0;
    mutable QHash<int, QPixmap> m_loaded; // of m_mode; null entries remember misses
    QHash<int, QPixmap> m_inserted;
};

// Resource path of a generated bitmap.
[[nodiscard]] QString skinResourcePath(int mode, int id);

// A copy of `picture` whose pixels of colour `key` are transparent (the needle's black, a thumb's
// transparent colour).
[[nodiscard]] QPixmap withColourTransparent(const QPixmap& picture, QColor key);

// A copy of `frame` that is transparent where `mask` (same size) is white.
[[nodiscard]] QPixmap maskedByWhite(const QPixmap& frame, const QPixmap& mask);

} // namespace tavero::ui
