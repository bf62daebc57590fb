// The outside programs a test uses come from Debian packages listed in
// scripts/packages, which scripts/install-deps installs. A test names the
// packages it needs; it fails, naming the package, when one is not listed
// there (a fresh machine would not have it) or not installed here.
#pragma once

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>
#include <string>

// Empty when every package is listed and installed; otherwise what is wrong.
inline std::string packages_missing(std::initializer_list<const char*> names) {
    std::set<std::string> listed;
    std::ifstream in(KAVREL_SOURCE_DIR "/scripts/packages");
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string name;
        if (words >> name) listed.insert(name);
    }
    std::string problems;
    for (const char* name : names) {
        if (!listed.count(name)) {
            problems += std::string("package ") + name + " is not listed in scripts/packages\n";
            continue;
        }
        std::string status;
        if (FILE* p = popen(
                ("dpkg-query -W -f='${Status}' " + std::string(name) + " 2>/dev/null").c_str(),
                "r")) {
            char buf[128];
            while (std::fgets(buf, sizeof buf, p)) status += buf;
            pclose(p);
        }
        if (status != "install ok installed")
            problems += std::string("package ") + name +
                        " is not installed (scripts/install-deps installs it)\n";
    }
    return problems;
}
