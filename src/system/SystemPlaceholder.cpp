// Replaced as the system services land.
