// mus_main OUTDIR: writes OUTDIR/emb_module.mod, the show's music.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mus.h"

const uint16_t mus_period_row0[85] = {
    3424, 3232, 3048, 2880, 2712, 2560, 2416, 2280, 2152, 2032, 1920, 1812, 1712, 1616, 1524, 1440, 1356,
    1280, 1208, 1140, 1076, 1016, 960,  906,  856,  808,  762,  720,  678,  640,  604,  570,  538,  508,
    480,  453,  428,  404,  381,  360,  339,  320,  302,  285,  269,  254,  240,  226,  214,  202,  190,
    180,  170,  160,  151,  143,  135,  127,  120,  113,  107,  101,  95,   90,   85,   80,   75,   71,
    67,   63,   60,   56,   53,   50,   47,   45,   42,   40,   37,   35,   33,   31,   30,   28,   28};

const uint16_t mus_period_row13[85] = {
    3500, 3303, 3118, 2943, 2777, 2622, 2474, 2335, 2204, 2081, 1964, 1854, 1750, 1651, 1559, 1471, 1388,
    1311, 1237, 1167, 1102, 1040, 982,  927,  875,  826,  779,  736,  694,  655,  619,  584,  551,  520,
    491,  463,  437,  413,  390,  368,  347,  328,  309,  292,  276,  260,  245,  232,  219,  206,  195,
    184,  174,  164,  155,  146,  138,  130,  123,  116,  109,  103,  97,   92,   87,   82,   77,   73,
    69,   65,   61,   58,   55,   51,   48,   46,   43,   41,   38,   36,   34,   32,   30,   29,   29};

uint16_t mus_period(int finetune, int index)
{
    if (index < 0 || index > 84 || (finetune != 0 && finetune != 13)) {
        fprintf(stderr, "mus: no period for finetune %d, note %d\n", finetune, index);
        exit(1);
    }
    return finetune == 0 ? mus_period_row0[index] : mus_period_row13[index];
}

namespace {

void put16(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    out[at] = uint8_t(v >> 8);
    out[at + 1] = uint8_t(v);
}

void header(std::vector<uint8_t>& out, int s, const mus_sample& smp)
{
    size_t at = 20 + 30 * size_t(s - 1);
    for (size_t i = 0; i < smp.name.size() && i < 22; i++)
        out[at + i] = uint8_t(smp.name[i]);
    put16(out, at + 22, uint32_t(smp.data.size() / 2));
    out[at + 24] = smp.finetune;
    out[at + 25] = smp.data.empty() ? 0 : smp.volume;  // an empty slot stays all zero
    put16(out, at + 26, smp.loop_start / 2);
    // a sample that plays once stores the customary one-word loop
    put16(out, at + 28, smp.loop_length ? smp.loop_length / 2 : 1);
}

}  // namespace

std::vector<uint8_t> mus_write_module(const char* title, const std::vector<mus_sample>& samples,
                                      const std::vector<mus_pattern>& patterns,
                                      const std::vector<uint8_t>& orders, uint8_t restart)
{
    std::vector<uint8_t> out(1084, 0);
    for (size_t i = 0; title[i] && i < 20; i++)
        out[i] = uint8_t(title[i]);
    for (int s = 1; s <= 31; s++)
        header(out, s, samples[size_t(s)]);
    out[950] = uint8_t(orders.size());
    out[951] = restart;
    for (size_t i = 0; i < orders.size(); i++)
        out[952 + i] = orders[i];
    out[1080] = '1';
    out[1081] = '2';
    out[1082] = 'C';
    out[1083] = 'H';
    for (const mus_pattern& p : patterns) {
        for (int r = 0; r < 64; r++) {
            for (int c = 0; c < mus_channels; c++) {
                const mus_cell& k = p.cell[r][c];
                uint32_t period = k.note == mus_no_note ? 0 : mus_period_row0[k.note];
                out.push_back(uint8_t((k.sample & 0xf0) | (period >> 8)));
                out.push_back(uint8_t(period));
                out.push_back(uint8_t(((k.sample & 15) << 4) | (k.effect & 15)));
                out.push_back(k.param);
            }
        }
    }
    for (int s = 1; s <= 31; s++)
        for (int8_t b : samples[size_t(s)].data)
            out.push_back(uint8_t(b));
    return out;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: mus_main OUTDIR\n");
        return 1;
    }
    std::vector<mus_sample> samples(32);
    mus_make_samples(samples);
    std::vector<mus_pattern> patterns;
    std::vector<uint8_t> orders;
    mus_compose(patterns, orders, samples);
    std::vector<uint8_t> mod = mus_write_module("Orvanto Drift", samples, patterns, orders, 25);
    std::string path = std::string(argv[1]) + "/emb_module.mod";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        perror(path.c_str());
        return 1;
    }
    bool ok = fwrite(mod.data(), 1, mod.size(), f) == mod.size();
    ok = fclose(f) == 0 && ok;
    if (!ok) {
        fprintf(stderr, "mus_main: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
