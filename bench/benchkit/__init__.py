"""The bench's measuring side: it starts the real program and its companions,
reads what the kernel says about them, and turns that into figures."""
