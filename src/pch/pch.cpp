// Hosts the precompiled Qt headers that the other targets reuse.
