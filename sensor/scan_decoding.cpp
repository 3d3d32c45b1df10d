#include "scan_decoding.h"

namespace {

// Every character carries its code minus 0x30; folded into one constant for three.
const long digit_offset = (0x30L << 12) + (0x30L << 6) + 0x30L;

long value_at(const char* text)
{
    const unsigned char* c = reinterpret_cast<const unsigned char*>(text);
    return (long{c[0]} << 12) + (long{c[1]} << 6) + long{c[2]} - digit_offset;
}

// A step's first echo: the others read 0 unless the reply sends them.
template <int Slots> void clear_further_echoes(const Scan_layout& layout, int offset)
{
    for (int slot = 1; slot < Slots; ++slot) {
        if (layout.distance) {
            layout.distance[offset + slot] = 0;
        }
        if (layout.intensity) {
            layout.intensity[offset + slot] = 0;
        }
    }
}

// One value at text; false when it would be a step beyond the announced ones.
template <int Unit, int Slots>
bool decode_step(const Scan_layout& layout, Scan_cursor& cursor, const char* text, bool further)
{
    if (further) {
        // An echo before any step, a fourth echo or any echo of a single-echo kind
        // has no slot: its value is skipped.
        if (Slots == 1 || cursor.step == 0 || cursor.echo >= Slots - 1) {
            return true;
        }
        --cursor.step;
        ++cursor.echo;
    } else {
        cursor.echo = 0;
    }
    if (cursor.step > layout.last_step) {
        return false;
    }
    const int offset = cursor.step * Slots + cursor.echo;
    if (Slots > 1 && cursor.echo == 0) {
        clear_further_echoes<Slots>(layout, offset);
    }
    if (layout.distance) {
        layout.distance[offset] = value_at(text);
    }
    if (Unit == 6 && layout.intensity) {
        layout.intensity[offset] = static_cast<unsigned short>(value_at(text + 3) & 0xffff);
    }
    ++cursor.step;
    return true;
}

// The kind's value size and slots as constants, so the loop carries no test of them.
template <int Unit, int Slots>
int decode_values(const Scan_layout& layout, Scan_cursor& cursor, const char* text, int available)
{
    int offset = 0;
    while (available - offset >= Unit) {
        const bool further = text[offset] == '&';
        if (further && available - offset - 1 < Unit) {
            break;
        }
        offset += further ? 1 : 0;
        if (!decode_step<Unit, Slots>(layout, cursor, text + offset, further)) {
            return -1;
        }
        offset += Unit;
    }
    return offset;
}

} // namespace

int decode_scan_values(const Scan_layout& layout, Scan_cursor& cursor, const char* text,
                       int available)
{
    const bool multi = layout.echo_slots > 1;
    if (layout.with_intensity) {
        return multi ? decode_values<6, 3>(layout, cursor, text, available)
                     : decode_values<6, 1>(layout, cursor, text, available);
    }
    return multi ? decode_values<3, 3>(layout, cursor, text, available)
                 : decode_values<3, 1>(layout, cursor, text, available);
}
