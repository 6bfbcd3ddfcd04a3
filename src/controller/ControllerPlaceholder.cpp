// Replaced as the controller lands.
