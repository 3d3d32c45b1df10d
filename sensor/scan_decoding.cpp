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

    // A step's first echo: the others read 0 unless the reply sends them.
    void clear_further_echoes(int offset) const
    {
        for (int slot = 1; slot < Slots; ++slot) {
            if (Distance) {
                distance[offset + slot] = 0;
            }
            if (Intensity) {
                intensity[offset + slot] = 0;
            }
        }
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

// Values without a '&' from value on, each the first echo of the next step, up to
// the text's end, a '&' or the last announced step. Returns where it stopped.
template <int Unit, int Slots, class Arrays>
const char* first_echoes(const Arrays& arrays, int last_step, Scan_cursor& cursor,
                         const char* value, const char* end)
{
    int step = cursor.step;
    for (; step <= last_step && end - value >= Unit && *value != '&'; ++step, value += Unit) {
        if (Slots > 1) {
            arrays.clear_further_echoes(step * Slots);
        }
        arrays.store(step * Slots, value);
    }
    cursor.step = step;
    cursor.echo = 0;
    return value;
}

// The value after a '&': a further echo of the previous step. False when that would
// be a step beyond the announced ones.
template <int Unit, int Slots, class Arrays>
bool further_echo(const Arrays& arrays, int last_step, Scan_cursor& cursor, const char* text)
{
    // An echo before any step, a fourth echo or any echo of a single-echo kind has
    // no slot: its value is skipped.
    if (Slots == 1 || cursor.step == 0 || cursor.echo >= Slots - 1) {
        return true;
    }
    --cursor.step;
    ++cursor.echo;
    if (cursor.step > last_step) {
        return false;
    }
    arrays.store(cursor.step * Slots + cursor.echo, text);
    ++cursor.step;
    return true;
}

template <int Unit, int Slots, class Arrays>
int decode_values(const Arrays& arrays, int last_step, Scan_cursor& cursor, const char* text,
                  int available)
{
    Scan_cursor at = cursor; // kept in registers while the loop runs
    const char* value = text;
    const char* const end = text + available;
    bool fits = true;
    while (fits && end - value >= Unit) {
        if (*value != '&') {
            fits = at.step <= last_step;
            value = fits ? first_echoes<Unit, Slots>(arrays, last_step, at, value, end) : value;
            continue;
        }
        if (end - value - 1 < Unit) {
            break;
        }
        fits = further_echo<Unit, Slots>(arrays, last_step, at, value + 1);
        value += 1 + Unit;
    }
    cursor = at;
    return fits ? static_cast<int>(value - text) : -1;
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
