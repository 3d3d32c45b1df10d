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

VYR_EXTERN_C_END

#endif
