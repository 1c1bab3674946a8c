// Replaced by the codec sources.
