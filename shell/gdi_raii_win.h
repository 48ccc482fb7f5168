// Owners for GDI objects and device contexts: each frees its handle when it
// goes out of scope, and a selection puts the previous object back first,
// so no paint path leaks a handle or leaves a context holding a bitmap that
// is about to be deleted.
#pragma once

#include <windows.h>

#include <utility>

// Any GDI object (bitmap, region, palette, brush): DeleteObject on release.
template <typename H>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(H h) : h_(h) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    GdiObject& operator=(GdiObject&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, nullptr));
        return *this;
    }
    ~GdiObject() { reset(); }

    void reset(H h = nullptr) {
        if (h_) DeleteObject(h_);
        h_ = h;
    }
    H get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    H h_ = nullptr;
};

using Bitmap = GdiObject<HBITMAP>;
using Region = GdiObject<HRGN>;
using Palette = GdiObject<HPALETTE>;

// A memory context compatible with another (DeleteDC on release).
class MemoryDc {
public:
    explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HDC dc_;
};

// A window's context from GetDC (ReleaseDC on release).
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) ReleaseDC(hwnd_, dc_);
    }
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND hwnd_;
    HDC dc_;
};

// BeginPaint .. EndPaint.
class PaintDc {
public:
    explicit PaintDc(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd, &ps_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc() { EndPaint(hwnd_, &ps_); }
    HDC get() const { return dc_; }
    const PAINTSTRUCT& info() const { return ps_; }

private:
    HWND hwnd_;
    HDC dc_;
    PAINTSTRUCT ps_;
};

// An object selected into a context; the previous one is selected back.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? SelectObject(dc, obj) : nullptr) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() {
        if (old_) SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A palette selected (and realised) into a context; the previous one is
// selected back.
class PaletteSelection {
public:
    PaletteSelection(HDC dc, HPALETTE pal, BOOL background)
        : dc_(dc), old_(pal ? SelectPalette(dc, pal, background) : nullptr) {
        if (pal) realised_ = RealizePalette(dc);
    }
    PaletteSelection(const PaletteSelection&) = delete;
    PaletteSelection& operator=(const PaletteSelection&) = delete;
    ~PaletteSelection() {
        if (old_) SelectPalette(dc_, old_, TRUE);
    }
    UINT realised() const { return realised_ == GDI_ERROR ? 0 : realised_; }

private:
    HDC dc_;
    HPALETTE old_;
    UINT realised_ = 0;
};

// A clip region on a context for one scope; the context is left without a
// clip region afterwards (the threads' and the paint's contexts keep none).
class ClipScope {
public:
    ClipScope(HDC dc, HRGN rgn) : dc_(dc) { SelectClipRgn(dc, rgn); }
    ClipScope(const ClipScope&) = delete;
    ClipScope& operator=(const ClipScope&) = delete;
    ~ClipScope() { SelectClipRgn(dc_, nullptr); }

private:
    HDC dc_;
};
