#include "demo/demo.h"

// Latin-1: \xe4 is a-umlaut, \xf6 o-umlaut, \xc4 capital A-umlaut.
static const char results[] =
    "Lumikuun kisojen tulokset\n"
    "=========================\n"
    "\n"
    "Demosarja\n"
    "\n"
    " 1. Routakettu      P\xe4" "kk\xe4" "r\xe4" "inen    412\n"
    " 2. Kuurankukka     Hiljainen sade  377\n"
    " 3. Pakkaspuuro     Lasilintu       351\n"
    " 4. Nokkakala       Y\xf6" "n ratas        298\n"
    " 5. Savusauna       Kuutamotie      265\n"
    " 6. Tervaskanto     Pilvilaiva      211\n"
    " 7. Kiuaskivi       Harmaa hetki    187\n"
    "\n"
    "Pikkusarja\n"
    "\n"
    " 1. Sammalsukka     Pieni pyry      301\n"
    " 2. Kaarnakaupunki  Vesiv\xe4" "rit      276\n"
    " 3. Jokiaisa        Kolme noppaa    240\n"
    " 4. Pajupilli       \xc4" "\xe4" "nikirja       199\n"
    " 5. Kelohonka       Suolaruukku     154\n"
    "\n"
    "Kiitos kaikille kisaan osallistuneille!\n"
    "N\xe4" "hd\xe4" "\xe4" "n taas talvella.\n";
static_assert(sizeof results - 1 == 620, "the results text is 620 bytes");

const char* const demo_results_text = results;
