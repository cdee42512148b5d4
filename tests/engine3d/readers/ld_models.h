#pragma once
// Real 3DS files written by others: Debian's assimp-testmodels, installed or fetched once per
// build tree with apt-get download (never committed).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

// The .3ds/.3DS files in `dir`, in the order the folder lists them.
inline std::vector<std::string> ld_model_files(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string ext = e.path().extension().string();
        if (ext == ".3ds" || ext == ".3DS")
            out.push_back(e.path().string());
    }
    return out;
}

// A whole file's bytes.
inline std::vector<uint8_t> ld_slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A lib3ds float as the reader stores it: times k, truncated.
inline int32_t ld_scaled(double v, double k) { return static_cast<int32_t>(v * k); }

// Radians to the reader's angle units (x 512 / pi).
constexpr double ld_roll_scale = 512.0 * 0.3183098861837907;
