#import <ScreenSaver/ScreenSaver.h>

@implementation ScreenSaverView

+ (NSBackingStoreType)backingStoreType {
  return NSBackingStoreBuffered;
}

+ (BOOL)performGammaFade {
  return YES;
}

- (instancetype)initWithFrame:(NSRect)frame isPreview:(BOOL)isPreview {
  if ((self = [super initWithFrame:frame])) {
    _isPreview = isPreview;
    _animationTimeInterval = 1.0 / 30.0;
  }
  return self;
}

- (instancetype)initWithFrame:(NSRect)frame {
  return [self initWithFrame:frame isPreview:NO];
}

- (void)dealloc {
  [_animationTimer invalidate];
  [super dealloc];
}

- (NSTimeInterval)animationTimeInterval {
  return _animationTimeInterval;
}

- (void)setAnimationTimeInterval:(NSTimeInterval)animationTimeInterval {
  _animationTimeInterval = animationTimeInterval;
  if (_animationTimer) {
    [self stopAnimation];
    [self startAnimation];
  }
}

- (void)animationTimerFired:(NSTimer*)timer {
  (void)timer;
  [self animateOneFrame];
}

- (void)startAnimation {
  if (_animationTimer) return;
  // The timer holds the view; stopAnimation lets it go again.
  _animationTimer = [NSTimer timerWithTimeInterval:_animationTimeInterval
                                            target:self
                                          selector:@selector(animationTimerFired:)
                                          userInfo:nil
                                           repeats:YES];
  [[NSRunLoop currentRunLoop] addTimer:_animationTimer forMode:NSDefaultRunLoopMode];
  [[NSRunLoop currentRunLoop] addTimer:_animationTimer forMode:NSModalPanelRunLoopMode];
}

- (void)stopAnimation {
  [_animationTimer invalidate];
  _animationTimer = nil;
}

- (BOOL)isAnimating {
  return _animationTimer != nil;
}

- (void)drawRect:(NSRect)rect {
  [[NSColor blackColor] set];
  NSRectFill(rect);
}

- (void)animateOneFrame {
}

- (BOOL)hasConfigureSheet {
  return NO;
}

- (NSWindow*)configureSheet {
  return nil;
}

- (BOOL)isPreview {
  return _isPreview;
}

@end

@implementation ScreenSaverDefaults

+ (id)defaultsForModuleWithName:(NSString*)moduleName {
  ScreenSaverDefaults* defaults = [[[self alloc] init] autorelease];
  if (!defaults) return nil;
  defaults->_moduleName = [moduleName copy];
  // GNUstep reads a domain outside the search list from disk only on a synchronize.
  [defaults synchronize];
  return defaults;
}

- (void)dealloc {
  [_moduleName release];
  [super dealloc];
}

- (NSDictionary*)moduleDomain {
  NSDictionary* domain = [self persistentDomainForName:_moduleName];
  return domain ? domain : [NSDictionary dictionary];
}

- (id)objectForKey:(NSString*)key {
  return [[self moduleDomain] objectForKey:key];
}

- (void)setObject:(id)value forKey:(NSString*)key {
  NSMutableDictionary* domain = [[[self moduleDomain] mutableCopy] autorelease];
  if (value)
    [domain setObject:value forKey:key];
  else
    [domain removeObjectForKey:key];
  [self setPersistentDomain:domain forName:_moduleName];
}

- (void)removeObjectForKey:(NSString*)key {
  [self setObject:nil forKey:key];
}

- (void)setBool:(BOOL)value forKey:(NSString*)key {
  [self setObject:[NSNumber numberWithBool:value] forKey:key];
}

- (void)setInteger:(NSInteger)value forKey:(NSString*)key {
  [self setObject:[NSNumber numberWithInteger:value] forKey:key];
}

@end
