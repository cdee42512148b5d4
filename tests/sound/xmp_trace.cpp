// xmp_trace FILE [TICKS]: the libxmp twin of mod_trace. Plays a module with libxmp one tick per
// xmp_play_frame and prints one line per tick:
//   <tick count> <frame> <order> <row> <speed> <tempo> <loop count>
// Exit status 2 when libxmp cannot load the module.
#include <xmp.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: xmp_trace FILE [TICKS]\n");
        return 1;
    }
    long ticks = argc > 2 ? strtol(argv[2], nullptr, 10) : 20000;
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module(ctx, argv[1]) != 0) {
        printf("refused\n");
        return 2;
    }
    if (xmp_start_player(ctx, 44100, 0) != 0) {
        printf("cannot start\n");
        return 2;
    }
    xmp_frame_info fi;
    for (long i = 0; i < ticks; i++) {
        if (xmp_play_frame(ctx) != 0)
            break;
        xmp_get_frame_info(ctx, &fi);
        printf("%ld %d %d %d %d %d %d\n", i, fi.frame, fi.pos, fi.row, fi.speed, fi.bpm, fi.loop_count);
    }
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    return 0;
}
