#include "ring_buffer.h"

#include <string.h>

namespace {

void copy_bytes(char* to, const char* from, int32_t count)
{
    memcpy(to, from, static_cast<size_t>(count));
}

int32_t smaller(int32_t a, int32_t b)
{
    return a < b ? a : b;
}

} // namespace

void ring_initialize(ring_buffer* ring, char* buffer, uint32_t shift)
{
    ring->buffer = buffer;
    ring->buffer_size = static_cast<int32_t>(1u << shift);
    ring->first = 0;
    ring->last = 0;
}

int32_t ring_size(const ring_buffer* ring)
{
    if (ring->first <= ring->last) {
        return ring->last - ring->first;
    }
    return ring->last + ring->buffer_size - ring->first;
}

int32_t ring_capacity(const ring_buffer* ring)
{
    return ring->buffer_size - 1;
}

int32_t ring_write(ring_buffer* ring, const char* data, int32_t size)
{
    const int32_t count = smaller(size, ring_capacity(ring) - ring_size(ring));
    if (count <= 0) {
        return 0;
    }
    if (ring->first <= ring->last) {
        const int32_t chunk = smaller(count, ring->buffer_size - ring->last);
        copy_bytes(ring->buffer + ring->last, data, chunk);
        ring->last = (ring->last + chunk) & (ring->buffer_size - 1);
        const int32_t rest = count - chunk;
        if (rest > 0) {
            copy_bytes(ring->buffer, data + chunk, rest);
            ring->last = rest;
        }
    } else {
        copy_bytes(ring->buffer + ring->last, data, count);
        ring->last += count;
    }
    return count;
}

int32_t ring_read(ring_buffer* ring, char* buffer, int32_t size)
{
    const int32_t count = smaller(size, ring_size(ring));
    if (count <= 0) {
        return 0;
    }
    if (ring->first <= ring->last) {
        copy_bytes(buffer, ring->buffer + ring->first, count);
        ring->first += count;
    } else {
        const int32_t chunk = smaller(count, ring->buffer_size - ring->first);
        copy_bytes(buffer, ring->buffer + ring->first, chunk);
        ring->first = (ring->first + chunk) & (ring->buffer_size - 1);
        const int32_t rest = count - chunk;
        if (rest > 0) {
            copy_bytes(buffer + chunk, ring->buffer, rest);
            ring->first = rest;
        }
    }
    return count;
}
