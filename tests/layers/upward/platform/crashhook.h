// stands for a platform layer
