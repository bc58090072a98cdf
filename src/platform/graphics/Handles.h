#pragma once

// Owning handles for the cairo, pango and GLib objects of this library.

#include <cairo.h>
#include <pango/pangocairo.h>

#include <memory>

namespace platform::graphics::detail {

struct GObjectUnref {
    void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct FontDescriptionFree {
    void operator()(PangoFontDescription* description) const noexcept { pango_font_description_free(description); }
};
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionFree>;

struct AttrListUnref {
    void operator()(PangoAttrList* list) const noexcept { pango_attr_list_unref(list); }
};
using AttrListPtr = std::unique_ptr<PangoAttrList, AttrListUnref>;

struct LayoutIterFree {
    void operator()(PangoLayoutIter* iterator) const noexcept { pango_layout_iter_free(iterator); }
};
using LayoutIterPtr = std::unique_ptr<PangoLayoutIter, LayoutIterFree>;

struct FontOptionsDestroy {
    void operator()(cairo_font_options_t* options) const noexcept { cairo_font_options_destroy(options); }
};
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, FontOptionsDestroy>;

struct SurfaceDestroy {
    void operator()(cairo_surface_t* surface) const noexcept { cairo_surface_destroy(surface); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDestroy>;

struct CairoDestroy {
    void operator()(cairo_t* cairo) const noexcept { cairo_destroy(cairo); }
};
using CairoPtr = std::unique_ptr<cairo_t, CairoDestroy>;

}  // namespace platform::graphics::detail
