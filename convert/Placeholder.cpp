// placeholder; replaced as the module grows
namespace quorlin {}
