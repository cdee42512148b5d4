// Fuzzes the in-memory 3DS reader (meshes and camera path) and evaluates any path it accepts.
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/sc_scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // 64 KiB holds meshes of thousands of faces: enough for every path, and fast to read
    if (size > 1 << 16)
        return 0;
    const uint32_t n = static_cast<uint32_t>(size);
    sc_scene scene;
    if (sc_init(&scene))
        return 0;
    ld_3ds_meshes_mem_n(data, n, &scene);
    sc_free_objects(&scene);

    kf_camera_path path{};
    if (ld_3ds_keys_mem_n(data, n, "Camera01", &path) == 0)
        for (double t : {0.0, 12.5, 50.0, 99.9, 100.0})
            kf_camera_eval(&scene, &path, t);
    free(path.pos_keys);
    free(path.roll_keys);
    free(path.target_keys);
    sc_release(&scene);
    return 0;
}
