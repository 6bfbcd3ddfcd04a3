// Replaced as website icons land.
