// The 3D preview of an RWX model: three.js with the RWX loader, orbit, zoom
// and pan, a wireframe switch, the texture images the user dropped, and the
// joint number of a clump with a joint tag under the pointer.
import * as fflate from 'fflate';
import * as THREE from 'three';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import RWXLoader from 'three-rwx-loader';

import { previewText } from './rwx_text.js';

const textureFolder = 'textures';

export function createPreview(canvas, jointTip) {
  const renderer = new THREE.WebGLRenderer({ canvas, antialias: true, preserveDrawingBuffer: true });
  renderer.setPixelRatio(Math.min(window.devicePixelRatio || 1, 2));
  const scene = new THREE.Scene();
  scene.background = new THREE.Color(0x20242c);
  const camera = new THREE.PerspectiveCamera(45, 1, 0.01, 1000);
  const headlight = new THREE.DirectionalLight(0xffffff, 2.6);
  headlight.position.set(0.4, 0.6, 1);
  camera.add(headlight);
  scene.add(camera, new THREE.HemisphereLight(0xffffff, 0x8a8f99, 2.8));
  const controls = new OrbitControls(camera, canvas);
  controls.enableDamping = false;

  // Texture files by the token that previewText put into the RWX text.
  // The loader asks for them by path, through three.js's default manager;
  // nothing else is ever asked for, so nothing leaves the machine.
  let textureUrls = new Map();
  THREE.DefaultLoadingManager.setURLModifier((url) => textureUrls.get(url.slice(url.lastIndexOf('/') + 1)) ?? 'data:,');
  THREE.DefaultLoadingManager.onLoad = () => render();

  let model = null;
  let wireframe = false;
  let home = null;
  let tagged = false;

  function render() {
    renderer.render(scene, camera);
  }

  function resize() {
    const width = canvas.clientWidth;
    const height = canvas.clientHeight;
    if (width === 0 || height === 0) return;
    renderer.setSize(width, height, false);
    camera.aspect = width / height;
    camera.updateProjectionMatrix();
    render();
  }
  new ResizeObserver(resize).observe(canvas);
  controls.addEventListener('change', render);

  function materials(object, visit) {
    object.traverse((child) => {
      if (!child.material) return;
      for (const material of Array.isArray(child.material) ? child.material : [child.material]) visit(material);
    });
  }

  function applyWireframe() {
    if (!model) return;
    materials(model, (material) => {
      if (material.userData.ownWireframe === undefined) material.userData.ownWireframe = material.wireframe === true;
      material.wireframe = wireframe || material.userData.ownWireframe;
    });
    render();
  }

  function frame() {
    const box = new THREE.Box3().setFromObject(model);
    if (box.isEmpty()) box.set(new THREE.Vector3(-1, -1, -1), new THREE.Vector3(1, 1, 1));
    const centre = box.getCenter(new THREE.Vector3());
    const radius = Math.max(box.getSize(new THREE.Vector3()).length() / 2, 1e-3);
    const distance = radius / Math.sin((camera.fov * Math.PI) / 360);
    camera.near = distance / 1000;
    camera.far = distance * 100;
    camera.updateProjectionMatrix();
    home = { centre, position: centre.clone().add(new THREE.Vector3(0.6, 0.45, 1).normalize().multiplyScalar(distance)) };
    resetView();
  }

  function resetView() {
    if (!home) return;
    camera.position.copy(home.position);
    controls.target.copy(home.centre);
    controls.update();
    render();
  }

  // The triangles the preview draws (lines of wireframe quads aside).
  function drawnTriangles(object) {
    let triangles = 0;
    object.traverseVisible((child) => {
      if (!child.isMesh) return;
      const geometry = child.geometry;
      triangles += (geometry.index ? geometry.index.count : geometry.attributes.position.count) / 3;
    });
    return triangles;
  }

  function clear() {
    if (model) {
      scene.remove(model);
      model.traverse((child) => child.geometry?.dispose());
      materials(model, (material) => {
        material.map?.dispose();
        material.alphaMap?.dispose();
        material.dispose();
      });
    }
    model = null;
    tagged = false;
    jointTip.hidden = true;
    for (const url of textureUrls.values()) URL.revokeObjectURL(url);
    textureUrls = new Map();
    render();
  }

  // Shows the model of an RWX text; textures maps each texture key to a
  // dropped file. Returns what the model names and the triangles drawn.
  function show(text, name, textures) {
    clear();
    const prepared = previewText(text, textures);
    for (const [token, file] of prepared.files) textureUrls.set(token, URL.createObjectURL(file));
    const loader = new RWXLoader().setFflate(fflate).setWaitFullLoad(false).setFlatten(false);
    loader.setPath('');
    let loaded = null;
    loader.parse(name, prepared.text, textureFolder, (object) => { loaded = object; });
    model = loaded;
    scene.add(model);
    model.traverse((child) => { if (child.userData.rwx?.tag) tagged = true; });
    applyWireframe();
    resize();
    frame();
    return { named: prepared.named, triangles: drawnTriangles(model) };
  }

  // The joint number of the clump under the pointer, if it has one.
  const raycaster = new THREE.Raycaster();
  let pointer = null;
  canvas.addEventListener('pointermove', (event) => {
    if (!tagged) return;
    const first = pointer === null;
    pointer = event;
    if (first) requestAnimationFrame(hover);
  });
  canvas.addEventListener('pointerleave', () => { jointTip.hidden = true; });
  function hover() {
    const event = pointer;
    pointer = null;
    const bounds = canvas.getBoundingClientRect();
    const at = new THREE.Vector2(((event.clientX - bounds.left) / bounds.width) * 2 - 1,
      -((event.clientY - bounds.top) / bounds.height) * 2 + 1);
    raycaster.setFromCamera(at, camera);
    let joint = null;
    for (const hit of model ? raycaster.intersectObject(model, true) : []) {
      for (let node = hit.object; node && joint === null; node = node.parent) joint = node.userData.rwx?.tag ?? null;
      if (joint !== null) break;
    }
    jointTip.hidden = joint === null;
    if (joint !== null) {
      jointTip.textContent = `Joint ${joint}`;
      jointTip.style.left = `${event.clientX - bounds.left}px`;
      jointTip.style.top = `${event.clientY - bounds.top}px`;
    }
  }

  return {
    show,
    clear,
    resetView,
    setWireframe(on) {
      wireframe = on;
      applyWireframe();
    },
  };
}
