// The texts a graph drew, read from its graphics transfer text: each text
// record ("1|(x,y)n" then n characters) in the order it was drawn.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A text the graph drew: where (points from the picture's corner) and what.
struct drawn_text {
    int x = 0, y = 0;
    std::string text;
};

inline std::vector<drawn_text> texts_of(const std::string& gtx) {
    std::vector<drawn_text> out;
    std::size_t at = 0;
    while (at < gtx.size()) {
        const std::size_t end = gtx.find('\n', at);
        if (end == std::string::npos) break;
        const std::string line = gtx.substr(at, end - at);
        at = end + 1;
        int x = 0, y = 0, n = 0;
        if (line.rfind("1|(", 0) == 0 &&
            std::sscanf(line.c_str(), "1|(%d,%d)%d", &x, &y, &n) == 3 && n >= 0 &&
            at + static_cast<std::size_t>(n) <= gtx.size()) {
            out.push_back({x, y, gtx.substr(at, static_cast<std::size_t>(n))});
            at += static_cast<std::size_t>(n) + 1;
        }
    }
    return out;
}
