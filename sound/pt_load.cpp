// Module loader, song position and the tables the replay shares.
#include "sound/pt.h"

#include <cstdlib>

#include "sound/sd_device.h"
#include "sound/sd_internal.h"

pt_sample_info pt_samples[32];
uint8_t pt_songlen;
int32_t pt_restart;
uint8_t pt_orders[128];
char pt_tag[5];
uint16_t pt_channels;
uint8_t* pt_patterns[128];
const char* pt_errmsg = "";

static uint8_t* pt_base;
static uint32_t pt_pos;

const char pt_tags[22][5] = {"2CHN", "4CHN", "M.K.", "M!K!", "FLT4", "FLT8", "OCTA", "6CHN",
                             "8CHN", "10CH", "12CH", "14CH", "16CH", "18CH", "20CH", "22CH",
                             "24CH", "26CH", "28CH", "30CH", "32CH", "STOP"};
const int pt_tag_channels[22] = {2,  4,  4,  4,  4,  8,  8,  6,  8,  10, 12,
                                 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 0};

// Rows by finetune 0..+7, -8..-1. Entries 24..59 are the usual three octaves; the octaves
// below are about four and two times them (row 0 exactly, the other rows the top period
// divided by the twelfth root of two per note), the two above halve and quarter entries
// 48..59, rounding down.
const uint16_t pt_period_table[16][85] = {
    {3424, 3232, 3048, 2880, 2712, 2560, 2416, 2280, 2152, 2032, 1920, 1812,
     1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 906,
     856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
     428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
     214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,
     107, 101, 95, 90, 85, 80, 75, 71, 67, 63, 60, 56,
     53, 50, 47, 45, 42, 40, 37, 35, 33, 31, 30, 28,
     28},
    {3400, 3209, 3029, 2859, 2698, 2547, 2404, 2269, 2141, 2021, 1908, 1801,
     1700, 1604, 1514, 1429, 1349, 1273, 1202, 1134, 1070, 1010, 954, 900,
     850, 802, 757, 715, 674, 637, 601, 567, 535, 505, 477, 450,
     425, 401, 379, 357, 337, 318, 300, 284, 268, 253, 239, 225,
     213, 201, 189, 179, 169, 159, 150, 142, 134, 126, 119, 113,
     106, 100, 94, 89, 84, 79, 75, 71, 67, 63, 59, 56,
     53, 50, 47, 44, 42, 39, 37, 35, 33, 31, 29, 28,
     28},
    {3376, 3186, 3007, 2838, 2679, 2529, 2387, 2253, 2126, 2007, 1894, 1788,
     1688, 1593, 1503, 1419, 1339, 1264, 1193, 1126, 1063, 1003, 947, 894,
     844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447,
     422, 398, 376, 355, 335, 316, 298, 282, 266, 251, 237, 224,
     211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118, 112,
     105, 99, 94, 88, 83, 79, 74, 70, 66, 62, 59, 56,
     52, 49, 47, 44, 41, 39, 37, 35, 33, 31, 29, 28,
     28},
    {3352, 3163, 2986, 2818, 2660, 2511, 2370, 2237, 2111, 1993, 1881, 1775,
     1676, 1581, 1493, 1409, 1330, 1255, 1185, 1118, 1055, 996, 940, 887,
     838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444,
     419, 395, 373, 352, 332, 314, 296, 280, 264, 249, 235, 222,
     209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118, 111,
     104, 99, 93, 88, 83, 78, 74, 70, 66, 62, 59, 55,
     52, 49, 46, 44, 41, 39, 37, 35, 33, 31, 29, 27,
     27},
    {3328, 3141, 2964, 2798, 2641, 2493, 2353, 2221, 2096, 1978, 1867, 1762,
     1664, 1570, 1482, 1399, 1320, 1246, 1176, 1110, 1048, 989, 933, 881,
     832, 785, 741, 699, 660, 623, 588, 555, 524, 495, 467, 441,
     416, 392, 370, 350, 330, 312, 294, 278, 262, 247, 233, 220,
     208, 196, 185, 175, 165, 156, 147, 139, 131, 124, 117, 110,
     104, 98, 92, 87, 82, 78, 73, 69, 65, 62, 58, 55,
     52, 49, 46, 43, 41, 39, 36, 34, 32, 31, 29, 27,
     27},
    {3304, 3118, 2943, 2778, 2622, 2475, 2336, 2205, 2081, 1964, 1854, 1750,
     1652, 1559, 1471, 1389, 1311, 1237, 1168, 1102, 1040, 982, 927, 875,
     826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437,
     413, 390, 368, 347, 328, 309, 292, 276, 260, 245, 232, 219,
     206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116, 109,
     103, 97, 92, 87, 82, 77, 73, 69, 65, 61, 58, 54,
     51, 48, 46, 43, 41, 38, 36, 34, 32, 30, 29, 27,
     27},
    {3280, 3095, 2922, 2758, 2603, 2457, 2319, 2189, 2066, 1950, 1840, 1737,
     1640, 1547, 1461, 1379, 1301, 1228, 1159, 1094, 1033, 975, 920, 868,
     820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434,
     410, 387, 365, 345, 325, 307, 290, 274, 258, 244, 230, 217,
     205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115, 109,
     102, 96, 91, 86, 81, 77, 72, 68, 64, 61, 57, 54,
     51, 48, 45, 43, 40, 38, 36, 34, 32, 30, 28, 27,
     27},
    {3256, 3073, 2900, 2737, 2584, 2439, 2302, 2173, 2051, 1936, 1827, 1724,
     1628, 1536, 1450, 1368, 1292, 1219, 1151, 1086, 1025, 968, 913, 862,
     814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431,
     407, 384, 363, 342, 323, 305, 288, 272, 256, 242, 228, 216,
     204, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114, 108,
     102, 96, 90, 85, 80, 76, 72, 68, 64, 60, 57, 54,
     51, 48, 45, 42, 40, 38, 36, 34, 32, 30, 28, 27,
     27},
    {3628, 3424, 3232, 3050, 2879, 2717, 2565, 2421, 2285, 2157, 2036, 1921,
     1814, 1712, 1616, 1525, 1439, 1358, 1282, 1210, 1142, 1078, 1018, 960,
     907, 856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480,
     453, 428, 404, 381, 360, 340, 320, 302, 285, 269, 254, 240,
     226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120,
     113, 107, 101, 95, 90, 85, 80, 75, 71, 67, 63, 60,
     56, 53, 50, 47, 45, 42, 40, 37, 35, 33, 31, 30,
     30},
    {3600, 3397, 3207, 3027, 2857, 2696, 2545, 2402, 2267, 2140, 2020, 1907,
     1800, 1698, 1603, 1513, 1428, 1348, 1272, 1201, 1133, 1070, 1010, 953,
     900, 850, 802, 757, 715, 675, 636, 601, 567, 535, 505, 477,
     450, 425, 401, 379, 357, 337, 318, 300, 284, 268, 253, 238,
     225, 212, 200, 189, 179, 169, 159, 150, 142, 134, 126, 119,
     112, 106, 100, 94, 89, 84, 79, 75, 71, 67, 63, 59,
     56, 53, 50, 47, 44, 42, 39, 37, 35, 33, 31, 29,
     29},
    {3576, 3375, 3185, 3007, 2838, 2678, 2528, 2386, 2252, 2126, 2006, 1894,
     1788, 1687, 1592, 1503, 1419, 1339, 1264, 1193, 1126, 1063, 1003, 947,
     894, 844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474,
     447, 422, 398, 376, 355, 335, 316, 298, 282, 266, 251, 237,
     223, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118,
     111, 105, 99, 94, 88, 83, 79, 74, 70, 66, 62, 59,
     55, 52, 49, 47, 44, 41, 39, 37, 35, 33, 31, 29,
     29},
    {3548, 3348, 3160, 2983, 2816, 2657, 2508, 2368, 2235, 2109, 1991, 1879,
     1774, 1674, 1580, 1491, 1408, 1328, 1254, 1184, 1117, 1054, 995, 939,
     887, 838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470,
     444, 419, 395, 373, 352, 332, 314, 296, 280, 264, 249, 235,
     222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118,
     111, 104, 99, 93, 88, 83, 78, 74, 70, 66, 62, 59,
     55, 52, 49, 46, 44, 41, 39, 37, 35, 33, 31, 29,
     29},
    {3524, 3326, 3139, 2963, 2797, 2640, 2491, 2351, 2219, 2095, 1977, 1866,
     1762, 1663, 1569, 1481, 1398, 1320, 1245, 1175, 1109, 1047, 988, 933,
     881, 832, 785, 741, 699, 660, 623, 588, 555, 524, 494, 467,
     441, 416, 392, 370, 350, 330, 312, 294, 278, 262, 247, 233,
     220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 123, 117,
     110, 104, 98, 92, 87, 82, 78, 73, 69, 65, 61, 58,
     55, 52, 49, 46, 43, 41, 39, 36, 34, 32, 30, 29,
     29},
    {3500, 3303, 3118, 2943, 2777, 2622, 2474, 2335, 2204, 2081, 1964, 1854,
     1750, 1651, 1559, 1471, 1388, 1311, 1237, 1167, 1102, 1040, 982, 927,
     875, 826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463,
     437, 413, 390, 368, 347, 328, 309, 292, 276, 260, 245, 232,
     219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116,
     109, 103, 97, 92, 87, 82, 77, 73, 69, 65, 61, 58,
     55, 51, 48, 46, 43, 41, 38, 36, 34, 32, 30, 29,
     29},
    {3472, 3277, 3093, 2919, 2755, 2601, 2455, 2317, 2187, 2064, 1948, 1839,
     1736, 1638, 1546, 1459, 1377, 1300, 1227, 1158, 1093, 1032, 974, 919,
     868, 820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460,
     434, 410, 387, 365, 345, 325, 307, 290, 274, 258, 244, 230,
     217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115,
     108, 102, 96, 91, 86, 81, 77, 72, 68, 64, 61, 57,
     54, 51, 48, 45, 43, 40, 38, 36, 34, 32, 30, 28,
     28},
    {3448, 3254, 3071, 2899, 2736, 2583, 2438, 2301, 2172, 2050, 1935, 1826,
     1724, 1627, 1535, 1449, 1368, 1291, 1219, 1150, 1086, 1025, 967, 913,
     862, 814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457,
     431, 407, 384, 363, 342, 323, 305, 288, 272, 256, 242, 228,
     216, 203, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114,
     108, 101, 96, 90, 85, 80, 76, 72, 68, 64, 60, 57,
     54, 50, 48, 45, 42, 40, 38, 36, 34, 32, 30, 28,
     28},
};

static constexpr uint32_t pt_header_size = 1084;

uint16_t pt_getword()
{
    uint16_t v = uint16_t((pt_base[pt_pos] << 8) | pt_base[pt_pos + 1]);
    pt_pos += 2;
    return v;
}

uint8_t pt_getbyte()
{
    return pt_base[pt_pos++];
}

void pt_skip(int n)
{
    pt_pos += uint32_t(n);
}

static int pt_note_index(uint32_t period)
{
    if (period == 0)
        return 84;
    for (int i = 0; i < 84; i++)
        if (pt_period_table[0][i] <= period)
            return i;
    return 84;
}

void pt_convpattern(uint8_t* pattern)
{
    uint8_t* cell = pattern;
    for (int i = 0; i < 64 * pt_channels; i++, cell += 4) {
        uint32_t period = uint32_t(cell[0] & 15) * 256 + cell[1];
        uint32_t sample = (cell[0] & 0xf0) | (cell[2] >> 4);
        // the sample table holds 32 entries: a larger number means no sample
        cell[0] = uint8_t(sample > 31 ? 0 : sample);
        cell[1] = uint8_t(pt_note_index(period));
        cell[2] = cell[2] & 15;
    }
}

// Reads the sample headers, song length, restart, order list and tag (1084 bytes).
static void pt_read_header()
{
    pt_skip(20);
    pt_samples[0] = {};
    for (int s = 1; s <= 31; s++) {
        pt_sample_info& si = pt_samples[s];
        pt_skip(22);
        // a length of 65536 bytes or more does not fit the 16-bit fields: such a sample is
        // cut to 65534 bytes (pt_sample_bytes keeps the stored extent for the layout)
        uint32_t len = 2u * pt_getword();
        si.length = uint16_t(len > 65534 ? 65534 : len);
        si.finetune = pt_getbyte() & 15;
        uint8_t vol = pt_getbyte();
        si.volume = vol > 64 ? 64 : vol;
        uint32_t ls = 2u * pt_getword();
        uint32_t ll = 2u * pt_getword();
        si.loop_start = uint16_t(ls > 65534 ? 65534 : ls);
        si.loop_length = uint16_t(ll > 65534 ? 65534 : ll);
    }
    uint8_t len = pt_getbyte();
    // the order list has 128 entries: longer songs are read as 128 orders
    pt_songlen = len > 128 ? 128 : len;
    uint8_t restart = pt_getbyte();
    pt_restart = restart > 126 ? 0 : restart;
    for (int i = 0; i < 128; i++)
        pt_orders[i] = pt_getbyte();
    for (int i = 0; i < 4; i++)
        pt_tag[i] = char(pt_getbyte());
    pt_tag[4] = 0;
}

static int pt_tag_lookup()
{
    int i = 0;
    for (;; i++) {
        const char* t = pt_tags[i];
        if (t[0] == 'S' && t[1] == 'T' && t[2] == 'O' && t[3] == 'P')
            break;
        if (t[0] == pt_tag[0] && t[1] == pt_tag[1] && t[2] == pt_tag[2] && t[3] == pt_tag[3])
            break;
    }
    return pt_tag_channels[i];
}

// The stored byte count of sample s (its length word doubled, without the 16-bit cut).
static uint32_t pt_sample_bytes(int s)
{
    uint32_t at = 20 + 30 * uint32_t(s - 1) + 22;
    return 2u * ((uint32_t(pt_base[at]) << 8) | pt_base[at + 1]);
}

static int pt_fail(const char* msg)
{
    pt_errmsg = msg;
    pt_channels = 0;
    return 0;
}

// Hands sample s at data to the device. The loop is kept inside the sample's bytes.
static void pt_hand_sample(int s, uint8_t* data)
{
    const pt_sample_info& si = pt_samples[s];
    uint32_t len = si.length;
    uint32_t ls = si.loop_start;
    uint32_t le = ls + si.loop_length;
    int looping = si.loop_length > 2 ? 1 : 0;
    if (le > len) {
        // a loop past the end of the sample would make the mixer read beyond it
        le = len;
        if (ls > len)
            ls = len;
        if (le - ls <= 2)
            looping = 0;
    }
    sd_device.set_sample(s, reinterpret_cast<const int8_t*>(data), len, ls, le, looping);
}

int pt_takemod_sized(uint8_t* module, uint32_t size)
{
    pt_base = module;
    pt_pos = 0;
    // the current row belongs to the module played before, if any: the replay waits for the
    // next row change
    pt_rowptr = nullptr;
    if (size < pt_header_size)
        return pt_fail("pt_takemod error: module too short!");
    pt_read_header();
    int n = pt_tag_lookup();
    if (n == 0)
        return pt_fail("pt_takemod error: unknown module type!");
    uint32_t npat = 0;
    for (int i = 0; i < 128; i++)
        if (pt_orders[i] + 1u > npat)
            npat = pt_orders[i] + 1u;
    if (npat > 128)
        return pt_fail("pt_takemod error: pattern number above 127!");
    uint64_t need = pt_header_size + uint64_t(256) * uint32_t(n) * npat;
    for (int s = 1; s <= 31; s++)
        need += pt_sample_bytes(s);
    if (need > size)
        return pt_fail("pt_takemod error: module shorter than its header says!");

    pt_channels = uint16_t(n);
    for (uint32_t p = 0; p < 128; p++)
        pt_patterns[p] = nullptr;
    for (uint32_t p = 0; p < npat; p++) {
        pt_patterns[p] = pt_base + pt_pos;
        pt_convpattern(pt_patterns[p]);
        pt_skip(256 * n);
    }
    for (int s = 1; s <= 31; s++) {
        if (pt_samples[s].length == 0)
            continue;
        pt_hand_sample(s, pt_base + pt_pos);
        pt_skip(int(pt_sample_bytes(s)));
    }
    sd_device.set_channels(n);
    return 1;
}

int pt_takemod(uint8_t* module)
{
    // A module of the program's own image: its extent is the one its header gives.
    return pt_takemod_sized(module, UINT32_MAX);
}

static int pt_start_common(int loaded)
{
    if (!loaded)
        return 0;
    pt_init();
    return 1;
}

int pt_start(uint8_t* module)
{
    pt_row = 0;
    pt_order = 0;
    return pt_start_common(pt_takemod(module));
}

int pt_start_sized(uint8_t* module, uint32_t size)
{
    pt_row = 0;
    pt_order = 0;
    return pt_start_common(pt_takemod_sized(module, size));
}

int32_t pt_getpos()
{
    // 32-bit two's complement: order -1, row 63 gives -37
    return int32_t(uint32_t(pt_order) * 100u + uint32_t(pt_row));
}

void pt_init()
{
    for (pt_channel& ch : pt_chan) {
        int32_t pan = ch.pan, gliss = ch.gliss;
        ch = {};
        ch.pan = pan;
        ch.gliss = gliss;
    }
    pt_order = -1;
    pt_breakrow = 0;
    pt_speed = 6;
    pt_bpm = 125;
    pt_tick = 5;
    pt_pattern = 0;
    pt_row = 63;
    pt_rowptr = nullptr;
    pt_vib_wave = pt_wave_sine;
    pt_trem_wave = pt_wave_sine;
    for (int i = 0; i < 64; i++) {
        pt_wave_random[i] = int16_t(rand() % 511 - 256);
        pt_wave_ramp[i] = int16_t(255 - 8 * i);
    }
}
