// A COB model of side x side textured quads in one object, sharing the grid's
// corners. The worker converts a small one when it starts, and the browser
// tests convert large ones.
export function gridCob(side) {
  const points = (side + 1) * (side + 1);
  const name = 'grid';
  const head = 2 + 2 + name.length + 24 * 4;
  const size = head + 4 + points * 12 + 4 + points * 8 + 4 + side * side * (5 + 4 * 8);
  const texture = 'grid.jpg';
  const material = 2 + 3 + 8 * 4 + 3 + 2 + texture.length + 4 * 4;
  const bytes = new Uint8Array(32 + 20 + size + 20 + material + 20);
  const view = new DataView(bytes.buffer);
  let at = 0;
  const text = (value) => { for (const c of value) bytes[at++] = c.charCodeAt(0); };
  const u8 = (v) => { view.setUint8(at, v); at += 1; };
  const i16 = (v) => { view.setInt16(at, v, true); at += 2; };
  const i32 = (v) => { view.setInt32(at, v, true); at += 4; };
  const f32 = (...values) => { for (const v of values) { view.setFloat32(at, v, true); at += 4; } };
  const chunk = (type, id, parent, length) => { text(type); i16(0); i16(1); i32(id); i32(parent); i32(length); };
  text('Caligari V00.01BLH             \n');
  chunk('PolH', 1, 0, size);
  i16(0); i16(name.length); text(name);
  f32(0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1); // local axes
  f32(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0); // position
  i32(points);
  for (let j = 0; j <= side; ++j) for (let i = 0; i <= side; ++i) f32(i, j, 1);
  i32(points);
  for (let j = 0; j <= side; ++j) for (let i = 0; i <= side; ++i) f32(i / side, j / side);
  i32(side * side);
  for (let j = 0; j < side; ++j) {
    for (let i = 0; i < side; ++i) {
      u8(0); i16(4); i16(0);
      const corner = j * (side + 1) + i;
      for (const c of [corner, corner + 1, corner + side + 2, corner + side + 1]) { i32(c); i32(c); }
    }
  }
  chunk('Mat1', 2, 1, material);
  i16(0); text('pf'); u8(30);
  f32(1, 1, 1, 1, 0.1, 0.1, 0.5, 1);
  text('t'); u8(0); u8(0); i16(texture.length); text(texture);
  f32(0, 0, 1, 1);
  chunk('END ', 3, 0, 0);
  if (at !== bytes.length) throw new Error(`composed ${at} of ${bytes.length} bytes`);
  return bytes;
}
