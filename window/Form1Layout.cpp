#include "Form1Layout.h"

namespace {

constexpr ControlPlacement Placements[] = {
    // name            left   top  width height  sizes to text
    {"SourceFile",     1260,  300,  3075,  315,  false},
    {"DestFile",       1260,  840,  3075,  315,  false},
    {"CompressBtn",     960, 1500,  1275,  435,  false},
    {"DecompressBtn",  2520, 1500,  1275,  435,  false},
    {"Frame1",          360, 2460,  3915, 1875,  false},
    {"Label1",          300,  300,   870,  195,  true},
    {"Label2",          300,  660,  1215,  195,  true},
    {"OrigSize",       1740,  300,  2000,  255,  false},
    {"CompSize",       1740,  660,  2000,  255,  false},
    {"Label3",          300, 1020,   960,  195,  true},
    {"CompTime",       1740, 1020,  2000,  255,  false},
    {"Label4",          300, 1380,  1065,  195,  true},
    {"CompPct",        1740, 1380,  2000,  255,  false},
    {"Label5",          300,  360,   915,  195,  false},
    {"Label6",          300,  840,   915,  255,  false},
};

} // namespace

std::span<const ControlPlacement> form1Placements()
{
    return Placements;
}
