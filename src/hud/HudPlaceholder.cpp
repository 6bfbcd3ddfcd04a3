// Replaced as the indicator lands.
