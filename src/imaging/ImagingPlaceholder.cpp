// Replaced as imaging lands.
