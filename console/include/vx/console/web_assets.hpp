// The web view's page, styles and scripts, built into vxctl from console/web.
#pragma once

#include <span>
#include <string_view>

namespace vx::console {

struct WebAsset {
    std::string_view path;  // "/" for the page, "/app.js", ...
    std::string_view type;  // its content type
    std::string_view body;
};

std::span<const WebAsset> web_assets();

}  // namespace vx::console
