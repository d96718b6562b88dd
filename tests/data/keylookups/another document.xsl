<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:k="urn:k" xmlns:exsl="http://exslt.org/common" exclude-result-prefixes="k exsl">
<xsl:output method="text"/>
<xsl:key name="code" match="Point" use="@code"/>
<xsl:template match="/">
  <xsl:for-each select="document('other.xml')/Other/Point">
    <xsl:value-of select="concat(count(key('code', @code)), key('code', @code)[1]/@id)"/>
  </xsl:for-each>
</xsl:template>
</xsl:stylesheet>
