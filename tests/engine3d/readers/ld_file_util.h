#pragma once
// Helpers for the readers' tests: files in the test's temporary folder, open descriptors, and a
// scene's objects as plain values to compare two readers by.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine3d/sc_scene.h"

// Writes bytes to a file named `name` in the temporary folder; the files go when the program ends.
inline std::string ld_write_temp(const std::string& name, const std::vector<uint8_t>& bytes)
{
    static std::vector<std::string> paths;
    static const int at_exit = atexit([] { std::for_each(paths.begin(), paths.end(), [](const std::string& p) { remove(p.c_str()); }); });
    (void)at_exit;
    const std::string path = testing::TempDir() + "/ld_file_" + std::to_string(getpid()) + "_" + name;
    paths.push_back(path);
    FILE* f = fopen(path.c_str(), "wb");
    EXPECT_TRUE(f && (bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size()) & (fclose(f) == 0)) << path;
    return path;
}

inline int ld_open_fds() { return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {})); }

// One object as values: everything a reader fills or obj_finish computes.
struct ld_obj_values {
    std::string name;
    int32_t vertex_count, face_count, radius;
    uint32_t mode;
    std::vector<int32_t> vertices, faces, uv, normals;
    bool operator==(const ld_obj_values&) const = default;
};

// A scene that frees its objects when it goes.
struct ld_test_scene {
    sc_scene s;
    ld_test_scene() { EXPECT_EQ(sc_init(&s), 0); }
    ~ld_test_scene() { sc_free_objects(&s), sc_release(&s); }
    std::vector<ld_obj_values> values()
    {
        std::vector<ld_obj_values> out;
        sc_rewind(&s);
        while (sc_object* o = sc_next(&s)) {
            const size_t n = static_cast<size_t>(o->vertex_count);
            out.push_back({std::string(o->name, strnlen(o->name, sizeof o->name)), o->vertex_count, o->face_count,
                           o->radius, o->mode, std::vector<int32_t>(o->vertices, o->vertices + 3 * n),
                           std::vector<int32_t>(o->faces, o->faces + 4 * static_cast<size_t>(o->face_count)),
                           o->uv ? std::vector<int32_t>(o->uv, o->uv + 2 * n) : std::vector<int32_t>{},
                           o->normals ? std::vector<int32_t>(o->normals, o->normals + 3 * n) : std::vector<int32_t>{}});
        }
        return out;
    }
};
