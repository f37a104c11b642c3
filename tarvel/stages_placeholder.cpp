// Placeholder until the first stage lands.
