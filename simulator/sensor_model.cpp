// Filled in by the protocol model.
