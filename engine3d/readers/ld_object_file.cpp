// The mesh file dispatcher and the picture-file texture reader.
#include "engine3d/readers/ld_object_file.h"

#include <cstddef>
#include <cstdlib>

#include "engine3d/readers/ld_3ds_file.h"
#include "engine3d/readers/ld_file.h"
#include "engine3d/readers/ld_mesh_file.h"
#include "engine3d/readers/ld_multi_mesh.h"
#include "engine3d/sc_scene.h"
#include "picture/iff.h"

int ld_object_file(const char* path, sc_scene* scene)
{
    if (sc_object* o = ld_mesh_bin_file(path)) {
        if (sc_add_object(scene, o)) {
            obj_free(o);
            return 1;
        }
        return 0;
    }
    if (ld_3ds_meshes_file(path, scene) == 0)
        return 0;
    return ld_mesh_multi_file(path, scene);
}

tex_buffer ld_texture_file(const char* path, uint8_t* palette)
{
    // The file is read once, regular files only; a failure to read it leaves the picture
    // loader's text for it, a picture that fails leaves the decoder's.
    size_t size = 0;
    const char* why = nullptr;
    uint8_t* bytes = ld_file_load(path, &size, &why);
    if (!bytes) {
        iff_msg = why;
        return nullptr;
    }
    tex_buffer t = tex_from_picture_n(bytes, size, palette);
    free(bytes);
    return t;
}
