#pragma once
// Real 3DS files written by others: Debian's assimp-testmodels, installed or fetched once per
// build tree with apt-get download (never committed).
#include <cstdlib>
#include <filesystem>
#include <string>

// The package's 3DS folder, or "" with the reason in *why.
inline std::string ld_models_dir(std::string* why)
{
    namespace fs = std::filesystem;
    const char* const sub = "usr/share/assimp/models/3DS";
    if (fs::exists(fs::path("/") / sub / "test1.3ds"))
        return std::string("/") + sub;
    const char* bin = getenv("ORV_BINARY_DIR");
    const fs::path root = fs::path(bin ? bin : ORV_BINARY_DIR) / "debfetch" / "assimp-testmodels";
    if (!fs::exists(root / sub / "test1.3ds")) {
        fs::create_directories(root);
        const std::string cmd = "cd '" + root.string() + "' && apt-get download assimp-testmodels >/dev/null 2>&1"
                                " && dpkg -x assimp-testmodels_*.deb . && rm -f assimp-testmodels_*.deb";
        if (system(cmd.c_str()) != 0 || !fs::exists(root / sub / "test1.3ds")) {
            *why = "assimp-testmodels is neither installed nor downloadable (apt-get download failed)";
            return "";
        }
    }
    return (root / sub).string();
}
