#include "scan_decoding.h"

namespace {

// Every character carries its code minus 0x30; folded into one constant for three.
const long digit_offset = (0x30L << 12) + (0x30L << 6) + 0x30L;

long value_at(const char* text)
{
    const unsigned char* c = reinterpret_cast<const unsigned char*>(text);
    return (long{c[0]} << 12) + (long{c[1]} << 6) + long{c[2]} - digit_offset;
}

// The arrays a reply fills, as constants: the loop then tests neither pointer.
template <int Unit, int Slots, bool Distance, bool Intensity> struct Values
{
    long* distance;
    unsigned short* intensity;

    void first_echo(int offset, const char* text) const
    {
        for (int slot = 1; slot < Slots; ++slot) {
            if (Distance) {
                distance[offset + slot] = 0;
            }
            if (Intensity) {
                intensity[offset + slot] = 0;
            }
        }
        store(offset, text);
    }

    void store(int offset, const char* text) const
    {
        if (Distance) {
            distance[offset] = value_at(text);
        }
        if (Intensity) {
            intensity[offset] = static_cast<unsigned short>(value_at(text + 3) & 0xffff);
        }
    }
};

// A value without a '&' starts the next step, whose other echoes read 0 unless the
// reply sends them; a value after a '&' is a further echo of the step before. An echo
// before any step, a fourth echo or any echo of a single-echo kind has no slot: its
// value is skipped. Only a new step can pass the announced ones, so only it is checked.
template <int Unit, int Slots, class Arrays>
int decode_values(const Arrays& arrays, int last_step, Scan_cursor& cursor, const char* text,
                  int available)
{
    int step = cursor.step; // the cursor kept in registers while the loop runs
    int echo = cursor.echo;
    const char* value = text;
    const char* const end = text + available;
    int used = -1;
    for (;;) {
        if (end - value < Unit) {
            used = static_cast<int>(value - text);
            break;
        }
        if (*value != '&') {
            if (step > last_step) {
                break;
            }
            arrays.first_echo(step * Slots, value);
            ++step;
            echo = 0;
            value += Unit;
            continue;
        }
        if (end - value - 1 < Unit) {
            used = static_cast<int>(value - text);
            break;
        }
        if (Slots > 1 && step > 0 && echo < Slots - 1) {
            ++echo;
            arrays.store((step - 1) * Slots + echo, value + 1);
        }
        value += 1 + Unit;
    }
    cursor.step = step;
    cursor.echo = echo;
    return used;
}

// The kind's value size and slots, and which arrays it fills, as constants.
template <int Unit, int Slots>
int decode_kind(const Scan_layout& layout, Scan_cursor& cursor, const char* text, int available)
{
    long* d = layout.distance;
    unsigned short* i = Unit == 6 ? layout.intensity : nullptr;
    const int last = layout.last_step;
    if (d && i) {
        return decode_values<Unit, Slots>(Values<Unit, Slots, true, true>{d, i}, last, cursor, text,
                                          available);
    }
    if (d) {
        return decode_values<Unit, Slots>(Values<Unit, Slots, true, false>{d, i}, last, cursor,
                                          text, available);
    }
    if (i) {
        return decode_values<Unit, Slots>(Values<Unit, Slots, false, true>{d, i}, last, cursor,
                                          text, available);
    }
    return decode_values<Unit, Slots>(Values<Unit, Slots, false, false>{d, i}, last, cursor, text,
                                      available);
}

} // namespace

int decode_scan_values(const Scan_layout& layout, Scan_cursor& cursor, const char* text,
                       int available)
{
    const bool multi = layout.echo_slots > 1;
    if (layout.with_intensity) {
        return multi ? decode_kind<6, 3>(layout, cursor, text, available)
                     : decode_kind<6, 1>(layout, cursor, text, available);
    }
    return multi ? decode_kind<3, 3>(layout, cursor, text, available)
                 : decode_kind<3, 1>(layout, cursor, text, available);
}
