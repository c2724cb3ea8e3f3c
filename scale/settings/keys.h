// The keys of [pesage] that set the link up: the search decides them all,
// writes those its link needs and removes the others, so a bad line under one
// of them is mended by what it writes. Standard C++ only.
#pragma once

#include <algorithm>
#include <array>
#include <string_view>

namespace pesolane {

inline constexpr std::array<std::string_view, 6> kLinkKeys{"port", "vitesse", "format", "protocole", "commande",
                                                           "fin-commande"};

constexpr bool isLinkKey(std::string_view key) {
    return std::find(kLinkKeys.begin(), kLinkKeys.end(), key) != kLinkKeys.end();
}

}  // namespace pesolane
