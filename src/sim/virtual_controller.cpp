namespace velmora::sim {}
