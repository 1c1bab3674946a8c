// The round trip through the peer tools follows.
