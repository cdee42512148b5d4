#include "demo/clk.h"
#include "demo/demo_internal.h"

#include <sys/time.h>

int32_t clk_base = -1;
int32_t frame_last = 0;

int32_t clk_ticks(int32_t seconds, int32_t micros)
{
    // widened before the multiplication: microseconds outgrow 32 bits after about 36 minutes
    int64_t x = 1000000LL * seconds + micros;
    // 7.000000000000001e-05 is the double just above 7e-05: with the nearest double an exact
    // half such as x = 50000 would round down
    return static_cast<int32_t>(static_cast<double>(x) * 7.000000000000001e-05 + 0.5);
}

int32_t clk_gettick()
{
    timeval tv;
    gettimeofday(&tv, nullptr);
    if (clk_base == -1) {
        clk_base = static_cast<int32_t>(tv.tv_sec);
        return 0;
    }
    // 32-bit difference of the seconds, wrapping like the clock's own arithmetic
    int32_t seconds = static_cast<int32_t>(static_cast<uint32_t>(tv.tv_sec) - static_cast<uint32_t>(clk_base));
    return clk_ticks(seconds, static_cast<int32_t>(tv.tv_usec));
}

int32_t frame_wait()
{
    while (clk_gettick() == frame_last) {
        // no sleep: a frame may start as soon as the tick changes
    }
    frame_last = clk_gettick();
    return frame_last;
}
