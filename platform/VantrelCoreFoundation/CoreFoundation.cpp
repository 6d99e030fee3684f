// Filled in with the property-list layer.
