#include "x11_overlay_bands.h"

#include <xcb/shape.h>

#include <algorithm>
#include <string_view>

namespace vrnskdm::platform {

x11_bands::x11_bands(const x11_connection& connection)
    : connection_{connection.raw()},
      screen_{connection.screen()},
      has_shape_{connection.has_shape()},
      gc_{xcb_generate_id(connection_)} {
  xcb_create_gc(connection_, gc_, screen_.root, 0, nullptr);
}

void x11_bands::show(const x11_frame& next) {
  for (std::size_t i = 0; i < next.places.size(); ++i) {
    band& b = band_on(i);
    fit(b, next.places[i]);
    put(b, next.pixels[i]);
    xcb_clear_area(connection_, 0, b.window, 0, 0, 0, 0);
    if (!b.mapped) xcb_map_window(connection_, b.window);
    b.mapped = true;
  }
  for (std::size_t i = next.places.size(); i < bands_.size(); ++i) {
    if (bands_[i].mapped) xcb_unmap_window(connection_, bands_[i].window);
    bands_[i].mapped = false;
  }
}

x11_bands::band& x11_bands::band_on(std::size_t monitor) {
  while (bands_.size() <= monitor) {
    band b;
    b.window = xcb_generate_id(connection_);
    const std::uint32_t override_redirect = 1;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, b.window, screen_.root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                      &override_redirect);
    constexpr std::string_view wm_class{"vrnskdm-warning\0vrnskdm\0", 24};
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, b.window, XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, wm_class.size(), wm_class.data());
    // No input region: touches and clicks reach the program underneath.
    if (has_shape_) {
      xcb_shape_rectangles(connection_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                           XCB_CLIP_ORDERING_UNSORTED, b.window, 0, 0, 0, nullptr);
    }
    bands_.push_back(b);
  }
  return bands_[monitor];
}

// Moves the window to its place and size, with a background of that size, and
// over every other window: a window raised over it since is covered again.
void x11_bands::fit(band& b, const monitor_area& place) {
  const bool resized =
      b.pixmap == 0 || place.width != b.place.width || place.height != b.place.height;
  if (resized) {
    if (b.pixmap != 0) xcb_free_pixmap(connection_, b.pixmap);
    b.pixmap = xcb_generate_id(connection_);
    xcb_create_pixmap(connection_, screen_.root_depth, b.pixmap, screen_.root,
                      static_cast<std::uint16_t>(place.width),
                      static_cast<std::uint16_t>(place.height));
    xcb_change_window_attributes(connection_, b.window, XCB_CW_BACK_PIXMAP, &b.pixmap);
  }
  const std::uint32_t geometry[] = {static_cast<std::uint32_t>(place.x),
                                    static_cast<std::uint32_t>(place.y),
                                    static_cast<std::uint32_t>(place.width),
                                    static_cast<std::uint32_t>(place.height), XCB_STACK_MODE_ABOVE};
  xcb_configure_window(connection_, b.window,
                       XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                           XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE,
                       geometry);
  b.place = place;
}

// In strips of rows, each within the server's largest request: a band is
// larger than one request may be without the BIG-REQUESTS extension, and xcb
// would wait for the server's answer to turn that extension on.
void x11_bands::put(const band& b, const std::vector<std::uint8_t>& pixels) {
  const std::size_t row_bytes = static_cast<std::size_t>(b.place.width) * 4;
  const std::size_t request_bytes =
      std::size_t{xcb_get_setup(connection_)->maximum_request_length} * 4;
  const int rows_per_strip =
      std::max(1, static_cast<int>((request_bytes - sizeof(xcb_put_image_request_t)) / row_bytes));
  for (int top = 0; top < b.place.height; top += rows_per_strip) {
    const int rows = std::min(rows_per_strip, b.place.height - top);
    xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, b.pixmap, gc_,
                  static_cast<std::uint16_t>(b.place.width), static_cast<std::uint16_t>(rows), 0,
                  static_cast<std::int16_t>(top), 0, screen_.root_depth,
                  static_cast<std::uint32_t>(row_bytes) * static_cast<std::uint32_t>(rows),
                  pixels.data() + row_bytes * static_cast<std::size_t>(top));
  }
}

}  // namespace vrnskdm::platform
