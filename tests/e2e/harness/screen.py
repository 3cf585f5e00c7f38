"""Pixels of a screenshot, for tests that check what the cashier would see."""


class Screen:
    def __init__(self, width, height, rgb):
        self.width, self.height, self._rgb = width, height, rgb

    @classmethod
    def from_ppm(cls, data):
        """Parses a binary PPM (P6, 8 bits per channel), as ImageMagick writes it."""
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":  # comment up to the line end
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        magic, width, height, depth = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
        if magic != b"P6" or depth != 255:
            raise ValueError(f"not an 8-bit binary PPM: {magic!r}, max {depth}")
        pixels = data[pos + 1:pos + 1 + width * height * 3]  # one whitespace byte ends the header
        return cls(width, height, pixels)

    def pixel(self, x, y):
        """(r, g, b) at screen coordinates x, y."""
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise IndexError(f"{x},{y} is off the {self.width}x{self.height} screen")
        i = (y * self.width + x) * 3
        return tuple(self._rgb[i:i + 3])
