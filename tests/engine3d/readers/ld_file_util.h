#pragma once
// Helpers for the disk readers' tests: files in a temporary folder, open descriptors, and a
// scene's objects as plain values to compare two readers by.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine3d/sc_scene.h"

// Writes bytes to a file named `name` in the test's temporary folder; returns its path. The
// files go when the test program ends.
inline std::string ld_write_temp(const std::string& name, const std::vector<uint8_t>& bytes)
{
    static std::vector<std::string>* written = [] {
        static std::vector<std::string> paths;
        atexit([] {
            for (const std::string& p : paths)
                remove(p.c_str());
        });
        return &paths;
    }();
    const std::string path = testing::TempDir() + "/ld_file_" + std::to_string(getpid()) + "_" + name;
    written->push_back(path);
    FILE* f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f) {
        if (!bytes.empty()) {
            EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        }
        fclose(f);
    }
    return path;
}

// Descriptors this process has open.
inline int ld_open_fds()
{
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)e;
        n++;
    }
    return n;
}

// One object as values: everything a reader fills or obj_finish computes.
struct ld_obj_values {
    std::string name;
    int32_t vertex_count, face_count, radius;
    uint32_t mode;
    std::vector<int32_t> vertices, faces, uv, normals;
    bool has_uv;
    bool operator==(const ld_obj_values&) const = default;
};

inline std::vector<ld_obj_values> ld_scene_values(sc_scene* s)
{
    std::vector<ld_obj_values> out;
    sc_rewind(s);
    while (sc_object* o = sc_next(s)) {
        const size_t n = static_cast<size_t>(o->vertex_count), f = static_cast<size_t>(o->face_count);
        ld_obj_values v{std::string(o->name, strnlen(o->name, sizeof o->name)), o->vertex_count, o->face_count,
                        o->radius, o->mode,
                        std::vector<int32_t>(o->vertices, o->vertices + 3 * n),
                        std::vector<int32_t>(o->faces, o->faces + 4 * f), {}, {}, o->uv != nullptr};
        if (o->uv)
            v.uv.assign(o->uv, o->uv + 2 * n);
        if (o->normals)
            v.normals.assign(o->normals, o->normals + 3 * n);
        out.push_back(std::move(v));
    }
    return out;
}

// A scene that frees its objects when it goes.
struct ld_test_scene {
    sc_scene s;
    ld_test_scene() { EXPECT_EQ(sc_init(&s), 0); }
    ~ld_test_scene()
    {
        sc_free_objects(&s);
        sc_release(&s);
    }
    std::vector<ld_obj_values> values() { return ld_scene_values(&s); }
};
