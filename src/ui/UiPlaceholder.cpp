// Replaced as the window lands.
