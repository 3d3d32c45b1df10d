#ifndef VYR_TRANSPORT_RING_BUFFER_H
#define VYR_TRANSPORT_RING_BUFFER_H

#include "c_interface.h"

#include <stdint.h>

VYR_EXTERN_C_BEGIN

// Byte queue over caller-owned storage of 2^shift bytes; one slot always stays free.
typedef struct ring_buffer
{
    char* buffer VYR_STARTS_AS(0);
    int32_t buffer_size VYR_STARTS_AS(0);
    int32_t first VYR_STARTS_AS(0); // read index
    int32_t last VYR_STARTS_AS(0);  // write index
} ring_buffer;

void ring_initialize(ring_buffer* ring, char* buffer, uint32_t shift);
int32_t ring_size(const ring_buffer* ring);
int32_t ring_capacity(const ring_buffer* ring);
// Both return the number of bytes actually taken or given.
int32_t ring_write(ring_buffer* ring, const char* data, int32_t size);
int32_t ring_read(ring_buffer* ring, char* buffer, int32_t size);
// Reading in place: the queued bytes that lie in one piece from the front (*data points
// at them), and the drop of count of them, at most what ring_peek gave. Inline: line
// reading calls both for every line.
static inline int32_t ring_peek(const ring_buffer* ring, const char** data)
{
    *data = ring->buffer + ring->first;
    return ring->first <= ring->last ? ring->last - ring->first : ring->buffer_size - ring->first;
}

static inline void ring_drop(ring_buffer* ring, int32_t count)
{
    ring->first = (ring->first + count) & (ring->buffer_size - 1);
}

// Writing in place: the free room in one piece behind the queued bytes (*data points at
// it; an empty ring starts over at its front, so all its capacity is one piece), and the
// queueing of count bytes written there, at most what ring_space gave.
static inline int32_t ring_space(ring_buffer* ring, char** data)
{
    if (ring->first == ring->last) {
        ring->first = 0;
        ring->last = 0;
    }
    *data = ring->buffer + ring->last;
    if (ring->first > ring->last) {
        return ring->first - ring->last - 1;
    }
    return ring->buffer_size - ring->last - (ring->first == 0 ? 1 : 0);
}

static inline void ring_commit(ring_buffer* ring, int32_t count)
{
    ring->last = (ring->last + count) & (ring->buffer_size - 1);
}

VYR_EXTERN_C_END

#endif
