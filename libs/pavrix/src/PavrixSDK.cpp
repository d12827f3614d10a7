// Filled by the SDK stand-in.
