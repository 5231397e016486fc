// Files built into the program (generated at build time from the npm
// packages and from page.js and page.css), so that the installed program
// alone writes a complete report.
#pragma once

#include <string_view>

namespace tacsim::report {

std::string_view asset_vega_js();
std::string_view asset_vega_lite_js();
std::string_view asset_vega_embed_js();
std::string_view asset_page_js();
std::string_view asset_page_css();

}  // namespace tacsim::report
