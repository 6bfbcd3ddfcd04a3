// Replaced as the configuration model lands.
