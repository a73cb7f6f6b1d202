// What the page reads in the RWX text the converter writes: the counts it
// shows, and the texture names, which it matches with dropped images.

const keptExtensions = new Set(['gif', 'png', 'tif', 'emf', 'wmf', 'ico']);

// The name under which the RWX file refers to an image file: the converter
// cuts the extension off (wood.jpg -> wood) or, for a few kinds, keeps it
// after a '_' (logo.GIF -> logo_GIF); names are compared in lower case.
export function textureKey(fileName) {
  const dot = fileName.lastIndexOf('.');
  if (dot < 0) return fileName.toLowerCase();
  const extension = fileName.slice(dot + 1);
  const key = keptExtensions.has(extension.toLowerCase()) ? `${fileName.slice(0, dot)}_${extension}` : fileName.slice(0, dot);
  return key.toLowerCase();
}

// Prototype definitions (named, or in the skinned form clumps at the start
// of a line), "Vertex" lines, and the triangles of the faces: one for a
// triangle, two for a quad, n - 2 for a polygon of n corners.
export function rwxCounts(text) {
  let prototypes = 0;
  let vertices = 0;
  let triangles = 0;
  for (const match of text.matchAll(/^(?: ProtoBegin |ClumpBegin|  Vertex |  Triangle |  Quad |  Polygon (\d+))/gm)) {
    const word = match[0];
    if (word === '  Vertex ') vertices += 1;
    else if (word === '  Triangle ') triangles += 1;
    else if (word === '  Quad ') triangles += 2;
    else if (match[1] !== undefined) triangles += Math.max(Number(match[1]) - 2, 0);
    else prototypes += 1;
  }
  return { prototypes, vertices, triangles };
}

// The text for the preview: each texture and mask that a dropped file
// stands for is renamed to a token (tN plus the file's extension, which
// tells the loader how to read it), for which `files` holds the file; a
// texture without a file becomes NULL, so that its faces keep their colour.
// `named` lists every texture and mask name with whether a file was found.
export function previewText(text, images) {
  const files = new Map();
  const tokens = new Map();
  const named = new Map();
  function token(name) {
    const file = images.get(name.toLowerCase());
    named.set(name, file !== undefined);
    if (file === undefined) return null;
    if (!tokens.has(file)) {
      const dot = file.name.lastIndexOf('.');
      const value = `t${tokens.size}${dot < 0 ? '.jpg' : file.name.slice(dot).toLowerCase()}`;
      tokens.set(file, value);
      files.set(value, file);
    }
    return tokens.get(file);
  }
  const rewritten = text.replace(/^( *)Texture (.+?)(?: Mask (.+?))?(\r?)$/gm, (line, indent, texture, mask, end) => {
    if (texture === 'NULL') return line;
    const textureToken = token(texture);
    const maskToken = mask === undefined ? null : token(mask);
    if (textureToken === null) return `${indent}Texture NULL${end}`;
    return `${indent}Texture ${textureToken}${maskToken === null ? '' : ` Mask ${maskToken}`}${end}`;
  });
  return { text: rewritten, files, named };
}
